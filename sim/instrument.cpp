// Placeholder until the simulator is built.
namespace kolvane::sim {
int Placeholder() {
  return 0;
}
}  // namespace kolvane::sim
