// The Options dialog: its layout, the stored choices in, OK's check and writes.
#include "shell/options_dialog.h"

#include "conversion/run_options.h"
#include "core/app_title.h"
#include "core/error_report.h"
#include "core/settings_keys.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "ui/appearance.h"
#include "ui/layout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <stdexcept>

namespace shell {

using namespace core;

namespace {
// The code pages most Paradox tables were written in; any other name iconv knows is typed.
const char* const kCodePages[] = {"",       "CP437",  "CP850",  "CP852",  "CP866",  "CP1250",
                                  "CP1251", "CP1252", "CP1253", "CP1254", "CP1257", "CP932"};

std::string Trimmed(const QString& text)
{
    return text.trimmed().toStdString();
}
}  // namespace

OptionsDialog::OptionsDialog(Services& services, QWidget* owner) : QDialog(owner), services_(services)
{
    using namespace ui;
    setObjectName("OptionsDialog");
    SetFixedClientSize(this, 7200, 5835);

    Frame1 = MakeFrame(this, "Frame1", "Source Code Page", 120, 120, 6960, 1140);
    Combo1 = MakeControl<QComboBox>(Frame1, "Combo1", 240, 360, 6480, 345);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : kCodePages)
        Combo1->addItem(QString::fromUtf8(name));
    Label1 = MakeLabel(Frame1, "Label1", "Empty: the code page each table's header names.", 240, 780, 6480);

    Frame2 = MakeFrame(this, "Frame2", "Pictures and Other Binary Data", 120, 1365, 6960, 690);
    Check1 = MakeControl<QCheckBox>(Frame2, "Check1", 240, 300, 6480, 255);
    Check1->setText("Transfer Binary (picture, BLOB, OLE and formatted-memo fields)");

    Frame3 = MakeFrame(this, "Frame3", "Column Types", 120, 2160, 6960, 1395);
    Option1 = MakeControl<QRadioButton>(Frame3, "Option1", 240, 300, 6480, 255);
    Option1->setText("Text (TEXT columns of quoted text)");
    Option2 = MakeControl<QRadioButton>(Frame3, "Option2", 240, 630, 6480, 255);
    Option2->setText("SQL Server (NVARCHAR, INT, DATE, MONEY, BIT..., with keys)");
    auto* pair = new QButtonGroup(Frame3);
    pair->addButton(Option1);
    pair->addButton(Option2);
    Check3 = MakeControl<QCheckBox>(Frame3, "Check3", 480, 960, 6240, 255);
    Check3->setText("With the tables' rules: indexes, validity checks, references");
    Check3->setChecked(true);
    Option1->setChecked(true);
    Check3->setEnabled(false);
    connect(Option2, &QRadioButton::toggled, Check3, &QCheckBox::setEnabled);

    Frame4 = MakeFrame(this, "Frame4", "After Converting", 120, 3660, 6960, 690);
    Check2 = MakeControl<QCheckBox>(Frame4, "Check2", 240, 300, 6480, 255);
    Check2->setText("Verify: compare every table on the server with its Paradox table");

    Frame5 = MakeFrame(this, "Frame5", "Sending", 120, 4455, 6960, 690);
    Check4 = MakeControl<QCheckBox>(Frame5, "Check4", 240, 300, 6480, 255);
    Check4->setText("Bulk Copy: rows as SQL Server's bulk load (FreeTDS)");

    PushButton1 = MakeButton(this, "PushButton1", "OK", 120, 5310, 3420);
    PushButton2 = MakeButton(this, "PushButton2", "Cancel", 3660, 5310, 3420);
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
}

std::string OptionsDialog::setting(const char* key, const std::string& defaultValue)
{
    return services_.settings.GetSetting(kSettingsApplication, kSettingsSection, key, defaultValue);
}

void OptionsDialog::save(const char* key, const std::string& value)
{
    services_.settings.SaveSetting(kSettingsApplication, kSettingsSection, key, value);
}

void OptionsDialog::Form_Load(const std::optional<QCursor>& hand)
{
    GuardedOperation op(services_.dialogs, Location("OptionsDialog", "Form_Load"));
    op.step(100, [&] { ui::NormalizeColors(this); });
    op.step(104, [&] { setWindowIcon(ui::ApplicationIcon()); });
    op.step(106, [&] { setWindowTitle(ui::Caption(kCaption)); });
    if (hand)
        op.step(110, [&] { ui::ApplyHandPointer(this, *hand); });
    // A stored text that names no choice leaves its control as designed.
    op.step(112, [&] { Combo1->setEditText(QString::fromStdString(setting(key::SourceCodePage, ""))); });
    op.step(114, [&] { Check1->setChecked(TransferBinarySetting(services_.settings)); });
    op.step(116, [&] {
        const bool typed = conversion::ColumnTypesFromSetting(setting(key::ColumnTypes, "")) ==
            conversion::ColumnTypes::SqlServer;
        (typed ? Option2 : Option1)->setChecked(true);
    });
    op.step(118, [&] { Check2->setChecked(VerifyAfterConvertingSetting(services_.settings)); });
    op.step(120, [&] { Check4->setChecked(BulkCopySetting(services_.settings)); });
    op.step(119, [&] { Check3->setChecked(conversion::RulesFromSetting(setting(key::Rules, "")) == conversion::RuleChoice::All); });
}

void OptionsDialog::PushButton1_Click()
{
    GuardedOperation op(services_.dialogs, Location("OptionsDialog", "PushButton1_Click"));
    const std::string codePage = Trimmed(Combo1->currentText());
    // A name iconv does not know is said at once, and the dialog stays for another.
    bool known = true;
    op.step(100, [&] {
        try {
            platform::CheckSourceCodePage(codePage);
        } catch (const std::invalid_argument& e) {
            known = false;
            platform::Message m;
            m.text = e.what();
            m.title = AppTitle();
            services_.dialogs.show(m);
        }
    });
    if (!known) {
        Combo1->setFocus();
        return;
    }
    op.step(102, [&] { save(key::SourceCodePage, codePage); });
    op.step(104, [&] { save(key::TransferBinary, BooleanSetting(Check1->isChecked())); });
    op.step(106, [&] { save(key::ColumnTypes, Option2->isChecked() ? kColumnTypesSqlServer : kColumnTypesText); });
    op.step(107, [&] { save(key::VerifyAfterConverting, BooleanSetting(Check2->isChecked())); });
    op.step(109, [&] { save(key::Rules, Check3->isChecked() ? kRulesAll : kRulesKeys); });
    op.step(110, [&] { save(key::BulkCopy, BooleanSetting(Check4->isChecked())); });
    op.step(108, [&] { accept(); });
}

void OptionsDialog::PushButton2_Click()
{
    GuardedOperation op(services_.dialogs, Location("OptionsDialog", "PushButton2_Click"));
    op.step(100, [&] { reject(); });
}

}  // namespace shell
