// Placeholder translation unit until the library has real sources.
namespace faxengine {
const char* libraryName() { return "faxengine"; }
} // namespace faxengine
