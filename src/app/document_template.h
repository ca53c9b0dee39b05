#pragma once

#include <string>
#include <string_view>

class wxDocManager;
class wxDocTemplate;

namespace tovalen {

// The schedule document type's texts, one field per line: window title, document name, type
// name in a New list, file dialog filter name, extension, file type id, file type name.
inline constexpr std::string_view kDocumentString =
    "Tovalen\n\nTovl\nTovalen ファイル (*.yyk)\n.yyk\nTovalen.Document\nTovl Document";

enum class DocumentField {
  kWindowTitle,
  kDocName,
  kFileNewName,
  kFilterName,
  kFilterExt,
  kRegFileTypeId,
  kRegFileTypeName,
};

// One field of the document string; empty past its end.
std::string DocumentStringField(DocumentField field);

// The one document template: schedule documents in the main frame's view. Owned by the manager.
wxDocTemplate* CreateDocumentTemplate(wxDocManager& manager);

}  // namespace tovalen
