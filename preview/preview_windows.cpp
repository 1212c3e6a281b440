// Loading, showing and closing the workbench's windows.
#include "preview/preview_windows.h"

#include "preview/exact_text_edit.h"
#include "preview/form2.h"
#include "preview/form3.h"
#include "preview/form4.h"
#include "preview/form5.h"

#include <QTimer>

namespace preview {

PreviewWindows::PreviewWindows(core::Services& services, conversion::PreviewHandOff& handOff,
                               QWidget* owner)
    : services_(services), handOff_(handOff), owner_(owner)
{
    handOff_.preview.onLoad = [this] { loadForm2(); };
    handOff_.datatypes.onLoad = [this] { loadForm5(); };
}

PreviewWindows::~PreviewWindows()
{
    handOff_.preview.onLoad = nullptr;
    handOff_.datatypes.onLoad = nullptr;
    delete form2_.data();
    delete form5_.data();
}

Form2* PreviewWindows::form2() const
{
    return form2_.data();
}

Form5* PreviewWindows::form5() const
{
    return form5_.data();
}

void PreviewWindows::loadForm2()
{
    form2_ = new Form2(*this, owner_);
    form2_->Form_Load();
}

void PreviewWindows::loadForm5()
{
    form5_ = new Form5(*this, owner_);
    form5_->Form_Load();
}

void PreviewWindows::execModal(QDialog* window, QWidget* owner)
{
    if (owner && window->parentWidget() != owner)
        window->setParent(owner, window->windowFlags());
    window->setWindowModality(Qt::WindowModal);
    if (onModalShown)
        QTimer::singleShot(0, window, [this, window] { onModalShown(window); });
    window->exec();
}

void PreviewWindows::showPreview()
{
    handOff_.preview.list();  // the first access loads the window
    Form2* form = form2_;
    if (!form)
        return;
    form->aboutToShow();
    execModal(form, owner_);
    // Closing the window destroys its controls and the lines they held.
    delete form2_.data();
    handOff_.preview.closed();
}

void PreviewWindows::showFindAndReplace(QWidget* owner)
{
    Form3 form(*this, owner);
    form.Form_Load();
    execModal(&form, owner);
}

void PreviewWindows::showEditLine(QWidget* owner, int row)
{
    ListLine = row;
    Form4 form(*this, owner);
    form.Form_Load();
    form.Text1->setExactText(std::string(handOff_.preview.list().text(row)));
    form.selectWholeLine();
    execModal(&form, owner);
}

void PreviewWindows::showDatatypes(QWidget* owner)
{
    handOff_.datatypes.list();
    Form5* form = form5_;
    if (!form)
        return;
    execModal(form, owner);
    delete form5_.data();
    handOff_.datatypes.closed();
}

}  // namespace preview
