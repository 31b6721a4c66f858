#include "uikit/PZAlert.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace ombrelay {

namespace {

PZAlert::Presenter& presenter()
{
    static PZAlert::Presenter shared;
    return shared;
}

}  // namespace

PZAlert PZAlert::removal(int count)
{
    if (count == 1)
        return {QObject::tr("Are you sure you want to remove this download?"),
                QObject::tr("Removing this download cannot be undone. Whatever files have already been downloaded "
                            "will be moved to the Trash."),
                {QObject::tr("Remove Download"), QObject::tr("Cancel")}};
    return {QObject::tr("Are you sure you want to remove these %1 downloads?").arg(count),
            QObject::tr("Removing these downloads cannot be undone. Whatever files have already been downloaded "
                        "will be moved to the Trash."),
            {QObject::tr("Remove Downloads"), QObject::tr("Cancel")}};
}

PZAlert PZAlert::clearComplete()
{
    return {QObject::tr("Do you want to clear all complete torrents?"),
            QObject::tr("All torrents that are completely downloaded will be removed, including those that are being "
                        "shared."),
            {QObject::tr("Clear Complete"), QObject::tr("Cancel")}};
}

PZAlert PZAlert::incompleteFile()
{
    return {QObject::tr("This file is still being downloaded."),
            QObject::tr("The file you are trying to open has not been fully downloaded. If you open it at this time, "
                        "it may not work properly."),
            {QObject::tr("Open File"), QObject::tr("Reveal File in File Manager"), QObject::tr("Cancel")}};
}

PZAlert PZAlert::executableFile(const QString& name)
{
    PZAlert alert{QObject::tr("\"%1\" is a program or a script.").arg(name),
                        QObject::tr("Opening it may run code that came from the network. Reveal it to look at it "
                                    "first, or open it only if you trust where it came from."),
                        {QObject::tr("Reveal File in File Manager"), QObject::tr("Open File"), QObject::tr("Cancel")}};
    alert.critical = true;
    return alert;
}

PZAlert PZAlert::unattachedDisk(const QString& volumeName)
{
    PZAlert alert{QObject::tr("The external disk \"%1\" is not attached.").arg(volumeName),
                        QObject::tr("The download folder for this torrent is located on an external disk that is not "
                                    "currently attached. Please reattach this disk to resume downloading this torrent."),
                        {QObject::tr("OK")}};
    alert.critical = true;
    return alert;
}

void PZAlert::setPresenter(Presenter presenter_)
{
    presenter() = std::move(presenter_);
}

void PZAlert::run(const PZAlert& alert, QWidget* window, std::function<void(int button)> answer)
{
    run(alert, window, [answer = std::move(answer)](int button, bool) { answer(button); });
}

void PZAlert::run(const PZAlert& alert, QWidget* window, Answer answer)
{
    if (presenter()) {
        presenter()(alert, std::move(answer));
        return;
    }
    auto* box = new QMessageBox(alert.critical ? QMessageBox::Critical : QMessageBox::Warning, QString(),
                                alert.message, QMessageBox::NoButton, window);
    box->setInformativeText(alert.informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QList<QPushButton*> buttons;
    for (const QString& title : alert.buttons)
        buttons.append(box->addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (alert.defaultButton >= 0 && alert.defaultButton < buttons.size())
        box->setDefaultButton(buttons[alert.defaultButton]);
    if (!alert.suppressionTitle.isEmpty()) {
        // A small box under the texts, in the 11-point system font.
        auto* suppression = new QCheckBox(alert.suppressionTitle);
        QFont font = suppression->font();
        font.setPointSize(11);
        suppression->setFont(font);
        box->setCheckBox(suppression);
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, answer] {
        const bool suppress = box->checkBox() && box->checkBox()->isChecked();
        answer(int(buttons.indexOf(static_cast<QPushButton*>(box->clickedButton()))), suppress);
    });
    box->open();
}

}  // namespace ombrelay
