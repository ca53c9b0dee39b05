#include "dialogs/toolkit_language.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/translation.h>

#include <memory>

namespace tovalen {

void UseJapaneseToolkitTexts() {
  auto translations = std::make_unique<wxTranslations>();
  translations->SetLanguage(wxLANGUAGE_JAPANESE);
  wxLogNull quiet;  // a missing catalogue is not worth a message box
  translations->AddStdCatalog();
  wxTranslations::Set(translations.release());  // wx owns it
}

}  // namespace tovalen
