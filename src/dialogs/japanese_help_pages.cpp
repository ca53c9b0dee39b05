#include "dialogs/japanese_help_pages.h"

#include <wx/html/htmlcell.h>
#include <wx/html/htmlproc.h>
#include <wx/html/htmlwin.h>
#include <wx/html/m_templ.h>

#include "dialogs/wx_text.h"
#include "platform/japanese_line_breaks.h"

namespace tovalen {
namespace {

// A word whose line-break permission comes from the marking, not from the spaces around it.
class JapanesePieceCell : public wxHtmlWordCell {
 public:
  JapanesePieceCell(const wxString& text, const wxDC& dc, bool breakable) : wxHtmlWordCell(text, dc) {
    m_allowLinebreak = breakable;
  }
};

class JapaneseTextProcessor : public wxHtmlProcessor {
 public:
  wxString Process(const wxString& page) const override { return ToWx(MarkJapaneseLineBreaks(ToUtf8(page))); }
};

}  // namespace

// The marked pieces: the piece's text goes into one cell, which the parser does not see.
TAG_HANDLER_BEGIN(JAPANESE_PIECE, "JB,JN")
TAG_HANDLER_CONSTR(JAPANESE_PIECE) {}
TAG_HANDLER_PROC(tag) {
  const wxString text = m_WParser->GetEntitiesParser()->Parse(m_WParser->GetInnerSource(tag));
  auto* cell = new JapanesePieceCell(text, *m_WParser->GetDC(), tag.GetName() == ToWx(kBreakablePieceTag));
  m_WParser->ApplyStateToCell(cell);
  m_WParser->GetContainer()->InsertCell(cell);
  m_WParser->StopCollapsingSpaces();  // a space after the piece is a space
  return true;
}
TAG_HANDLER_END(JAPANESE_PIECE)

TAGS_MODULE_BEGIN(JapanesePieces)
TAGS_MODULE_ADD(JAPANESE_PIECE)
TAGS_MODULE_END(JapanesePieces)

void BreakJapaneseLinesInHtmlPages() {
  static bool added = false;
  if (added) return;
  added = true;
  wxHtmlWindow::AddGlobalProcessor(new JapaneseTextProcessor);  // wx owns it
}

}  // namespace tovalen
