// Bringing folder trees up to date by the [MIRROR] rules: comparing each
// rule's tree, collecting or copying the newer files, the confirmation and
// the progress texts. The dialogs are behind MirrorUi, so the logic runs
// without a display.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "vexa32/copy_list.h"
#include "vexa32/mirror_rule.h"
#include "vexa32/settings.h"

class MirrorUi {
 public:
  virtual ~MirrorUi() = default;
  // The CONFIRM dialog with its message text; true when it ends with OK.
  virtual bool confirm(const std::string& message, long ask, bool copy_on_timeout) = 0;
  // The PROGRESS dialog: opened (bar shown or hidden, Cancel enabled or
  // not), its texts set (null: left as it is; percent below 0: bar left),
  // closed. cancelled() reports the Cancel button.
  virtual void progress_open(bool show_bar, bool allow_cancel) = 0;
  virtual void progress_texts(const std::string* file, const std::string* directory,
                              const std::string* status, int percent) = 0;
  virtual bool cancelled() = 0;
  virtual void progress_close() = 0;
};

enum class MirrorDirection {
  out,   // key to target: at logon
  back,  // target to key: at the end of the session
};

// Last-write times compare with the low 12 bits of their lower half cleared.
unsigned long long coarse_write_time(const FILETIME& time);

// The CONFIRM message: "There are ~f files more recent\n~b bytes to copy"
// expanded (at most 512 bytes).
std::string confirm_message(long files, double bytes);
// The progress status while the copy list is worked off.
std::string progress_status(double bytes_done, long files_done, long files, double bytes,
                            long errors);

class Mirror {
 public:
  Mirror(MirrorUi& ui, const VexaSettings& settings) : ui_(ui), settings_(settings) {}

  // Every rule of [MIRROR] in file order, then (Ask not 0) the confirmation
  // and the copy of the list.
  void run(const std::string& ini, MirrorDirection direction);

  // One tree; false when the whole rule has to end (a target subfolder that
  // cannot be made, or Cancel).
  bool compare_tree(std::string source, std::string target, bool recurse,
                    const std::vector<std::string>& patterns);
  // Works off the copy list after the confirmation.
  void copy_listed();

  long errors() const { return errors_; }
  const CopyList& copy_list() const { return list_; }

 private:
  void consider(const std::string& source_dir, const std::string& target_dir,
                const std::string& name, const FILETIME& written, long long size);
  void copy_now(const std::string& source_dir, const std::string& name,
                const std::string& target, long long size);
  bool make_folder(const std::string& folder, DWORD* error);

  MirrorUi& ui_;
  VexaSettings settings_;
  CopyList list_;
  long errors_ = 0;
  int newer_answer_ = 0;  // IDYES or IDNO once asked
  bool progress_open_ = false;
};
