#include "app/document_template.h"

#include <wx/docview.h>

#include "app/quorvel_doc.h"
#include "app/quorvel_view.h"
#include "dialogs/wx_text.h"

namespace tovalen {

std::string DocumentStringField(DocumentField field) {
  std::string_view rest = kDocumentString;
  for (int i = 0; i < static_cast<int>(field); ++i) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return {};
    rest.remove_prefix(end + 1);
  }
  return std::string(rest.substr(0, rest.find('\n')));
}

wxDocTemplate* CreateDocumentTemplate(wxDocManager& manager) {
  std::string extension = DocumentStringField(DocumentField::kFilterExt);
  if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
  const std::string typeName = DocumentStringField(DocumentField::kFileNewName);
  // The main frame exists before the template: views go into it rather than into frames of
  // their own.
  return new wxDocTemplate(&manager, ToWx(DocumentStringField(DocumentField::kFilterName)), ToWx("*." + extension),
                           wxString(), ToWx(extension), ToWx(typeName), ToWx(typeName), CLASSINFO(CQuorvelDoc),
                           CLASSINFO(CQuorvelView));
}

}  // namespace tovalen
