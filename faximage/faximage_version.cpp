// Placeholder translation unit until the library has real sources.
namespace faximage {
const char* libraryName() { return "faximage"; }
} // namespace faximage
