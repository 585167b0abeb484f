// Placeholder until the platform's first sources land.
namespace platform { [[maybe_unused]] int placeholder = 0; }
