#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/stream_sources.h"
#include "dialogs/dialog_base.h"

class wxListBox;
class wxTextCtrl;

namespace tovalen {

// The user's network streams: a list of their names and URLs (the credentials masked), and
// fields to add one, change the chosen one in its place or remove it. Every change is saved at
// once; what the streams file refuses is shown in a message box and changes nothing.
class CDlgStreamSources : public DialogBase {
 public:
  // How many capture devices are listed now, the streams among them.
  using DeviceCounter = std::function<std::size_t()>;

  explicit CDlgStreamSources(wxWindow* parent = nullptr);

  // Where the streams are kept (tests); the user's own file otherwise.
  void SetStreams(StreamSources streams) { m_streams = std::move(streams); }
  // Replaces the count the controller's device list gives.
  void SetDeviceCounter(DeviceCounter counter) { m_countDevices = std::move(counter); }
  // Whether a stream was added, changed or removed: the device list is then out of date.
  bool Changed() const { return m_changed; }

 private:
  void CreateControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void Refresh(std::optional<std::size_t> selected);
  void OnSelect();
  void OnAdd();
  void OnChange();
  void OnDelete();
  StreamSource Entered() const;
  std::optional<std::size_t> SelectedLine() const;
  // Runs a change of the streams file; a refusal or a file error is shown, and false.
  bool Apply(const std::function<void()>& change);

  StreamSources m_streams;
  DeviceCounter m_countDevices;
  std::vector<StreamSource> m_shown;
  bool m_changed = false;
  wxListBox* m_list = nullptr;   // owned by the dialog
  wxTextCtrl* m_name = nullptr;  // owned by the dialog
  wxTextCtrl* m_url = nullptr;   // owned by the dialog
};

// The refusal in the user's words.
std::string DescribeRefusalForUser(StreamRefusal refusal);

}  // namespace tovalen
