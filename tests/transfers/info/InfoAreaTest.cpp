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

namespace {

class InfoArea : public TransfersFixture
{
protected:
    TransfersInfoArea& area() { return *controller->infoArea(); }
    QStringList torrentTexts()
    {
        QStringList texts;
        for (ShadowedTextField* field : area().torrentFields())
            texts.append(field->text());
        return texts;
    }
};

}  // namespace

TEST(ShadowedText, MetainfoTextsAreDrawnOnOneLineAndElided)
{
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("plain name"), QStringLiteral("plain name")},
        {QStringLiteral("two\nlines\r\tand\x01 bell"), QStringLiteral("two lines  and  bell")},
        {QString::fromUtf8("para\u2029graph\u2028line"), QStringLiteral("para graph line")},
        {QString(), QString()},
    };
    for (const auto& [text, line] : rows)
        EXPECT_EQ(ShadowedTextField::singleLine(text), line) << text.toStdString();

    ShadowedTextField field;
    field.setText(QStringLiteral("a name much longer than the field is wide\nsecond line"));
    field.resize(80, 20);
    EXPECT_FALSE(field.displayedText().contains(QLatin1Char('\n')));
    EXPECT_TRUE(field.displayedText().endsWith(QChar(0x2026))) << field.displayedText().toStdString();
    EXPECT_NE(field.textColor(), QColor(Qt::white));
    field.setTextInteractionFlags(Qt::TextSelectableByMouse);
    EXPECT_EQ(field.textColor(), QColor(Qt::white)) << "selectable fields draw white";
}

TEST_F(InfoArea, ViewsFollowTheSelectionAndEmptyWithoutOne)
{
    const TorrentLinePtr folderTorrent = addTorrent(QStringLiteral("Album"), TorrentLine::Paused, 3);
    const TorrentLinePtr single = addTorrent(QStringLiteral("movie.mkv"), TorrentLine::Paused);
    controller->mainView()->resize(800, 400);
    controller->mainView()->show();
    struct Row
    {
        TorrentLinePtr selected;
        QString name;
        bool hasIcon;
        int cells;
    };
    const Row rows[] = {
        {folderTorrent, QStringLiteral("Album"), true, 1},
        {single, QStringLiteral("movie.mkv"), true, 1},
        {nullptr, QString(), false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        controller->selectObjects(row.selected ? TorrentLineList{row.selected} : TorrentLineList{});
        EXPECT_EQ(torrentTexts().first(), row.name);
        EXPECT_EQ(!area().iconView()->image().isNull(), row.hasIcon);
        EXPECT_EQ(area().piecesView()->grid().cellCount(), row.cells);
        EXPECT_EQ(area().downloadPopUp()->isVisible(), bool(row.selected));
        EXPECT_EQ(area().revealButton()->isVisible(), bool(row.selected));
    }
    EXPECT_EQ(torrentTexts(), QStringList(6, QString()));

    // A removed selection empties the area too.
    controller->selectObjects({single});
    controller->removeDownloads({single});
    EXPECT_EQ(torrentTexts().first(), QString());
    EXPECT_EQ(area().piecesView()->grid().cellCount(), 0);

    // The torrent's own texts follow its changes; the totals follow the controller's.
    controller->selectObjects({folderTorrent});
    folderTorrent->invalidateBindingsText();
    EXPECT_EQ(torrentTexts().at(2), folderTorrent->downloadsText());
    controller->invalidateBindingsText();
    EXPECT_EQ(area().totalFields().first()->text(), controller->downloadsText());
}

TEST_F(InfoArea, ADoubleClickOnTheIconOpensASingleClickDoesNot)
{
    int opens = 0;
    QObject::connect(area().iconView(), &PZIconView::doubleClicked, [&] { ++opens; });
    area().iconView()->resize(52, 52);
    QTest::mouseClick(area().iconView(), Qt::LeftButton);
    EXPECT_EQ(opens, 0);
    QTest::mouseDClick(area().iconView(), Qt::LeftButton);
    EXPECT_EQ(opens, 1);
}
