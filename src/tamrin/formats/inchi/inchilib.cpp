#include "tamrin/formats/inchi/inchilib.h"

#include <string>

#include "sorvil/error/errorhandler.h"

namespace Tamrin {

std::mutex& QvInChILibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

void QvReportInChIMessage(const char* what, const char* title, const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  text.erase(0, text.find_first_not_of(' '));
  if (text.empty()) text = "no reason given";
  Sorvil::QvErrorHandler::Warning("%s for molecule \"%s\": %s", what, title ? title : "", text.c_str());
}

}  // namespace Tamrin
