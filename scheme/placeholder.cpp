// Placeholder until the library's first real source lands.
namespace scheme { [[maybe_unused]] int placeholder = 0; }
