// The contract between the conversion run and the SQL Preview workbench: the
// two lists, the shared values and the rule that a window's list lives until
// that window is closed.
#pragma once

#include "conversion/open_batches.h"
#include "conversion/preview_list.h"
#include "platform/server_connection.h"

#include <functional>
#include <memory>

namespace conversion {

// One window instance for the program's life: the first access to its list
// after a close runs its set-up (load); closing it discards the list's items.
template <typename List>
class WindowList {
public:
    List& list()
    {
        if (!loaded_) {
            loaded_ = true;
            if (onLoad)
                onLoad();
        }
        return list_;
    }
    bool loaded() const { return loaded_; }
    void closed()
    {
        list_.clear();
        loaded_ = false;
    }

    std::function<void()> onLoad;  // the window's set-up

private:
    List list_;
    bool loaded_ = false;
};

struct PreviewHandOff {
    WindowList<PreviewList> preview;     // Form2's ListView1
    WindowList<DatatypeList> datatypes;  // Form5's ListView1

    // Form1's run connection: the run creates, opens and closes it; the preview
    // window executes on it and never opens or closes it.
    std::shared_ptr<platform::ServerConnection> mssql_conn;
    // The run's and Execute SQL's batches on it, which closing Form1 finishes.
    OpenBatches openBatches;
    bool SQLFormOK = false;      // Form1's: set True by the preview after executing every line
    bool SQLFormCancel = false;  // program-wide: set True by the run before a per-table preview
};

}  // namespace conversion
