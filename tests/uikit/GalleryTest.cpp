#include "FakeOutline.h"
#include "support/Pictures.h"

#include "uikit/PZColor.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// The kit's widgets together with fake transfers: the filter bar with counts, a tree with one expanded
// row, a sorted column, two selected rows and the grid lines. Saved as a PNG for a look by eye
// (OMBRELAY_GALLERY_PNG, else uikit-gallery.png in the build folder).
struct Gallery : FakeOutlineWindow
{
    Gallery()
    {
        window.setWindowTitle(QStringLiteral("Interface kit gallery"));
        add(QStringLiteral("Debian netinst 12.4"), 628, true, false);
        add(QStringLiteral("Big Buck Bunny 1080p"), 885, false, false);
        add(QStringLiteral("Sintel soundtrack"), 120, true, true);
        add(QStringLiteral("Public domain audiobooks"), 342, true, false);
        add(QStringLiteral("Open street map extract"), 2048, false, false);
        FakeLine* bunny = lines[1].get();
        FakeLine* folder = bunny->addChild(QStringLiteral("Extras"), 85);
        folder->addChild(QStringLiteral("making-of.mkv"), 60);
        folder->addChild(QStringLiteral("poster.png"), 25)->setCheckboxState(1);
        bunny->addChild(QStringLiteral("big_buck_bunny_1080p.mkv"), 800);
        FakeLine* readme = bunny->addChild(QStringLiteral("README.txt"), 0);
        readme->enabled = false;
        for (const auto& child : bunny->children)
            child->withIcon = true;
        for (const auto& child : folder->children)
            child->withIcon = true;
        view->reloadChildren(bunny);

        window.show();
        QApplication::setActiveWindow(&window);
        view->setFocus();
        view->setSortDescriptors({{QStringLiteral("size"), false, QStringLiteral("compare:")}});
        view->expand(view->indexForObject(bunny));
        view->selectObjects({lines[0].get(), lines[3].get()});
    }
};

bool near(const QColor& a, const QColor& b)
{
    return nearColor(a, b, 2);
}

}  // namespace

TEST(GalleryTest, ShowsTheKitTogetherAndSavesAPicture)
{
    Gallery gallery;
    QTRY_VERIFY_WITH_TIMEOUT(gallery.view->hasFocus(), 2000);
    QApplication::processEvents();

    const QPixmap shot = gallery.window.grab();
    const QString path = picturePath("OMBRELAY_GALLERY_PNG", QStringLiteral("uikit-gallery.png"));
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    std::fprintf(stderr, "gallery: %s\n", qPrintable(path));

    const QImage image = shot.toImage();
    const QPoint origin = gallery.view->viewport()->mapTo(&gallery.window, QPoint(0, 0));
    // Both selected rows, the current one too, are filled with the strong selection colour, their
    // bottom line lighter.
    for (int line : {0, 3}) {
        const QRect row = gallery.view->visualRect(gallery.view->indexForObject(gallery.lines[line].get()));
        EXPECT_TRUE(near(image.pixelColor(origin + QPoint(row.x() + 2, row.y() + 2)),
                         PZColor::alternateSelectedControlColor()))
            << line;
        EXPECT_TRUE(near(image.pixelColor(origin + QPoint(row.x() + 2, row.bottom())),
                         PZColor::color(PZColor::alternateSelectedControlColor(), 0.5, PZColor::whiteColor())))
            << line;
    }
    // An unselected row is not filled.
    const QRect plainRow = gallery.view->visualRect(gallery.view->indexForObject(gallery.lines[2].get()));
    EXPECT_TRUE(near(image.pixelColor(origin + QPoint(plainRow.x() + 2, plainRow.y() + 2)),
                     gallery.view->viewport()->palette().color(QPalette::Base)));
}
