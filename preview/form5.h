// Form5, Datatypes Conversion: the column type chosen for every field of the
// previewed tables, as the run recorded them.
#pragma once

#include "preview/window_setup.h"

class QPushButton;
class QTreeView;

namespace preview {

class DatatypeListModel;

class Form5 : public WorkbenchDialog {
public:
    Form5(PreviewWindows& windows, QWidget* owner);
    void Form_Load();

    void PushButton5_Click();  // < Back

    QPushButton* PushButton5;
    QTreeView* ListView1;

protected:
    // Each showing widens the columns to their headers and contents.
    void showEvent(QShowEvent* event) override;

private:
    void fitColumns();

    DatatypeListModel* model_ = nullptr;
};

}  // namespace preview
