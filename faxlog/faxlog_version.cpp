// Placeholder translation unit until the library has real sources.
namespace faxlog {
const char* libraryName() { return "faxlog"; }
} // namespace faxlog
