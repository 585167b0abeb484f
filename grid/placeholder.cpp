// Placeholder until the library's first real source lands.
namespace grid { [[maybe_unused]] int placeholder = 0; }
