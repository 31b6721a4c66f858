#pragma once

// The built application's main window as the private display shows it: its frame, and pictures of the
// whole screen taken by this test program run again on the display (ScreenOfTheDisplayTest.cpp).
#include "app/shell/launch/AppUnderXvfb.h"

#include <QHash>
#include <QImage>
#include <QRect>
#include <functional>
#include <optional>

namespace ombrelay::test {

class AppOnScreen : public AppUnderXvfb
{
protected:
    // The main window's id and its frame on the screen.
    std::optional<std::pair<QString, QRect>> mainWindow() const
    {
        const QString id =
            QString::fromUtf8(xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--name"), QStringLiteral("^Ombrelay$")}))
                .section(QLatin1Char('\n'), 0, 0);
        if (id.isEmpty())
            return std::nullopt;
        QHash<QString, int> values;
        const QString shell =
            QString::fromUtf8(xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}));
        for (const QString& line : shell.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
        const QRect frame(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                          values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
        if (frame.isEmpty())
            return std::nullopt;
        return std::make_pair(id, frame);
    }

    // The whole screen, saved in `path`; null when it could not be taken.
    QImage screenPicture(const QString& path) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("OMBRELAY_SCREEN_PICTURE"), path);
        DisplayChild child(*display, QStringLiteral("ScreenOfTheDisplay.DISABLED_IsSaved"), environment);
        EXPECT_TRUE(child.passes(30000));
        return QImage(path);
    }

    // Pictures of the screen in `path`, at most ten, until one `shows` what is awaited; that one, else null.
    QImage screenPictureShowing(const QString& path, const std::function<bool(const QImage&)>& shows) const
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            const QImage screen = screenPicture(path);
            if (!screen.isNull() && shows(screen))
                return screen;
        }
        return {};
    }
};

} // namespace ombrelay::test
