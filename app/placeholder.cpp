// Placeholder until the program's windows land.
namespace app { [[maybe_unused]] int placeholder = 0; }
