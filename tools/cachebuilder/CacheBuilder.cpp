// Placeholder until the builder lands.
namespace loftwick::builder {}
