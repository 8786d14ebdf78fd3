// The shared library is made of the four layer archives; this file only gives
// the target a translation unit of its own.
namespace Nimbrel {
extern const char* const kLibraryName;
const char* const kLibraryName = "nimbrel";
}  // namespace Nimbrel
