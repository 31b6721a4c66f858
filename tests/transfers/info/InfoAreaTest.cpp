#include "transfers/TransfersFixture.h"

#include "transfers/BandwidthPopUpButton.h"
#include "transfers/PZIconView.h"
#include "transfers/PiecesView.h"
#include "transfers/RevealButton.h"
#include "transfers/ShadowedTextField.h"
#include "transfers/TransfersInfoArea.h"

#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

TEST(ShadowedText, MetainfoTextsAreDrawnOnOneLineAndElided)
{
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("plain name"), QStringLiteral("plain name")},
        {QStringLiteral("two\nlines\r\tand\x01 bell"), QStringLiteral("two lines  and  bell")},
        {QString::fromUtf8("para\u2029graph\u2028line"), QStringLiteral("para graph line")},
    };
    for (const auto& [text, line] : rows)
        EXPECT_EQ(ShadowedTextField::singleLine(text), line) << text.toStdString();

    ShadowedTextField field;
    field.setText(QStringLiteral("a name much longer than the field is wide\nsecond line"));
    field.resize(80, 20);
    EXPECT_TRUE(field.displayedText().endsWith(QChar(0x2026))) << field.displayedText().toStdString();
    EXPECT_NE(field.textColor(), QColor(Qt::white));
    field.setTextInteractionFlags(Qt::TextSelectableByMouse);
    EXPECT_EQ(field.textColor(), QColor(Qt::white)) << "selectable fields draw white";

    // While its delegate view is shown, a click goes there.
    struct Delegate : QWidget
    {
        int presses = 0;
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    } delegate;
    field.setDelegateView(&delegate);
    for (bool shown : {false, true}) {
        delegate.setVisible(shown);
        QTest::mousePress(&field, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(delegate.presses, shown ? 1 : 0);
    }
}

TEST_F(TransfersFixture, InfoAreaFollowsTheSelectionAndEmptiesWithoutOne)
{
    TransfersInfoArea& area = *controller->infoArea();
    const auto name = [&] { return area.torrentFields().first()->text(); };
    const TorrentLinePtr folderTorrent = addTorrent(QStringLiteral("Album"), TorrentLine::Paused, 3);
    const TorrentLinePtr single = addTorrent(QStringLiteral("movie.mkv"), TorrentLine::Paused);
    controller->mainView()->show();
    for (const TorrentLinePtr& selected : {folderTorrent, single, TorrentLinePtr()}) {
        controller->selectObjects(selected ? TorrentLineList{selected} : TorrentLineList{});
        EXPECT_EQ(name(), selected ? selected->path() : QString());
        EXPECT_EQ(area.iconView()->image().isNull(), !selected);
        EXPECT_EQ(area.piecesView()->grid().cellCount(), selected ? 1 : 0);
        EXPECT_EQ(area.downloadPopUp()->isVisible(), bool(selected));
        EXPECT_EQ(area.revealButton()->isVisible(), bool(selected));
    }

    // A removed selection empties the area too.
    controller->selectObjects({single});
    controller->removeDownloads({single});
    EXPECT_EQ(name(), QString());
    EXPECT_EQ(area.piecesView()->grid().cellCount(), 0);

    // The torrent's own texts follow its changes; the totals follow the controller's.
    controller->selectObjects({folderTorrent});
    folderTorrent->invalidateBindingsText();
    EXPECT_EQ(area.torrentFields().at(2)->text(), folderTorrent->downloadsText());
    controller->invalidateBindingsText();
    EXPECT_EQ(area.totalFields().first()->text(), controller->downloadsText());
}
