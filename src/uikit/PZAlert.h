#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace ombrelay {

// An alert: its texts and buttons in order. The answer is the index of the button
// pressed (0 is the first, the return code 1000), or -1 when the alert was dismissed, and whether the
// "do not ask again" box was ticked.
struct PZAlert
{
    QString message;
    QString informativeText;
    QStringList buttons;
    QString suppressionTitle{};  // the "do not ask again" box under the texts; empty: none
    int defaultButton = 0;
    bool critical = false;

    static PZAlert removal(int count);
    static PZAlert clearComplete();
    static PZAlert incompleteFile();
    static PZAlert executableFile(const QString& name);
    static PZAlert unattachedDisk(const QString& volumeName);

    using Answer = std::function<void(int button, bool suppress)>;
    using Presenter = std::function<void(const PZAlert& alert, Answer answer)>;
    // Shows alerts window-modal on the window (tests install their own presenter).
    static void run(const PZAlert& alert, QWidget* window, Answer answer);
    // For alerts without the box: the button alone.
    static void run(const PZAlert& alert, QWidget* window, std::function<void(int button)> answer);
    static void setPresenter(Presenter presenter);  // null: the message box
};

}  // namespace ombrelay
