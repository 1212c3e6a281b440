// Form5, Datatypes Conversion: the column type chosen for every field of the
// previewed tables, as the run recorded them.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeView;

namespace preview {

class DatatypeListModel;
class PreviewWindows;

class Form5 : public QDialog {
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

    PreviewWindows& windows_;
    DatatypeListModel* model_ = nullptr;
};

}  // namespace preview
