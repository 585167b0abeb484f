// Placeholder until the library's first real source lands.
namespace serial { [[maybe_unused]] int placeholder = 0; }
