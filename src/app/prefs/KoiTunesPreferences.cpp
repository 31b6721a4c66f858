#include "app/prefs/KoiTunesPreferences.h"

#include "app/desktop/PlaylistsButton.h"
#include "app/prefs/SettingsBinder.h"
#include "kit/Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace ombrelay {

namespace {
const QString kDefaultPlaylist = QStringLiteral("Ombrelay");
const QString kNameKey = QStringLiteral("kKoPlaylistName");
}  // namespace

KoiTunesPreferences::KoiTunesPreferences(QWidget* parent)
    : QWidget(parent), m_addSong(new QCheckBox(tr("Add finished music to the Music Library"), this)),
      m_addVideo(new QCheckBox(tr("Add finished videos to the Music Library"), this)),
      m_addToPlaylist(new QCheckBox(tr("Add them to the playlist"), this)), m_playSong(new QButtonGroup(this)),
      m_playlistTab(new QStackedWidget(this)), m_playlistMenu(new PlaylistsButton(this)), m_playlistText(new QLineEdit(this)),
      m_playlistRefusal(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    auto* library = new QGroupBox(tr("Music Library"), this);
    auto* libraryLayout = new QVBoxLayout(library);
    SettingsBinder::bindCheckBox(m_addSong, QStringLiteral("kKoAddSong"));
    SettingsBinder::bindCheckBox(m_addVideo, QStringLiteral("kKoAddVideo"));
    SettingsBinder::bindCheckBox(m_addToPlaylist, QStringLiteral("kKoAddSongToPlaylist"));
    m_playlistTab->addWidget(m_playlistMenu);
    m_playlistTab->addWidget(m_playlistText);
    m_playlistTab->setFixedHeight(m_playlistText->sizeHint().height() + 4);
    m_playlistMenu->setEnabled(false);  // until the library was read
    m_playlistText->setMaxLength(255);
    libraryLayout->addWidget(m_addSong);
    libraryLayout->addWidget(m_addVideo);
    libraryLayout->addWidget(m_addToPlaylist);
    libraryLayout->addWidget(m_playlistTab);
    m_playlistRefusal->setTextFormat(Qt::PlainText);
    m_playlistRefusal->setWordWrap(true);
    m_playlistRefusal->hide();
    libraryLayout->addWidget(m_playlistRefusal);
    layout->addWidget(library);

    auto* play = new QGroupBox(tr("Then"), this);
    auto* playLayout = new QVBoxLayout(play);
    const QString choices[] = {tr("Do nothing"), tr("Play it"), tr("Play it unless something is playing"),
                               tr("Add it to the play queue")};
    for (int row = 0; row < 4; ++row) {
        auto* button = new QRadioButton(choices[row], play);
        m_playSong->addButton(button, row);
        playLayout->addWidget(button);
        m_playControls.append(button);
    }
    layout->addWidget(play);
    layout->addStretch();

    connect(m_playSong, &QButtonGroup::idClicked, this,
            [](int row) { Settings::instance().setInteger(QStringLiteral("kKoPlaySong"), row); });
    connect(m_playlistMenu, &QComboBox::activated, this, &KoiTunesPreferences::playlistChosen);
    connect(m_playlistMenu, &PlaylistsButton::playlistsRead, this, &KoiTunesPreferences::setPlaylists);
    connect(m_playlistText, &QLineEdit::editingFinished, this, &KoiTunesPreferences::playlistTextField);
    connect(m_playlistText, &QLineEdit::textEdited, m_playlistRefusal, &QWidget::hide);
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key.startsWith(QLatin1String("kKo")))
            loadDefaults();
    });
    fillPlaylistMenu();
    loadDefaults();
}

// The text field, losing the focus as it goes, ends its editing after this part of the pane is gone.
KoiTunesPreferences::~KoiTunesPreferences()
{
    m_playlistText->disconnect(this);
}

QComboBox* KoiTunesPreferences::playlistMenu() const
{
    return m_playlistMenu;
}

bool KoiTunesPreferences::isValidPlaylistName(const QString& name)
{
    return !name.isEmpty() && refusalOf(name).isEmpty();
}

QString KoiTunesPreferences::refusalOf(const QString& name)
{
    if (name.contains(QLatin1Char('/')))
        return tr("A playlist name cannot contain \u201c/\u201d.");
    if (name.contains(QChar(0)))
        return tr("A playlist name cannot contain a null character.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return tr("\u201c%1\u201d cannot be a playlist name.").arg(name);
    if (name.toUtf8().size() > 255)
        return tr("A playlist name can be at most 255 bytes long.");
    return {};
}

void KoiTunesPreferences::setPlaylists(const QStringList& playlists)
{
    m_playlistsHaveLoaded = true;
    m_playlists = playlists;
    m_playlists.removeAll(kDefaultPlaylist);
    fillPlaylistMenu();
    loadDefaults();
}

void KoiTunesPreferences::fillPlaylistMenu()
{
    const QSignalBlocker quiet(m_playlistMenu);
    m_playlistMenu->clear();
    m_playlistMenu->addItem(kDefaultPlaylist);
    m_playlistMenu->insertSeparator(1);
    for (const QString& name : std::as_const(m_playlists))
        m_playlistMenu->addItem(name);
    if (!m_playlists.isEmpty())
        m_playlistMenu->insertSeparator(m_playlistMenu->count());
    m_playlistMenu->addItem(tr("Other..."));
}

void KoiTunesPreferences::loadDefaults()
{
    Settings& settings = Settings::instance();
    const bool adding = settings.boolean(QStringLiteral("kKoAddSong")) || settings.boolean(QStringLiteral("kKoAddVideo"));
    m_addToPlaylist->setEnabled(adding);
    for (QWidget* control : m_playControls)
        control->setEnabled(adding);
    const bool toPlaylist = settings.boolean(QStringLiteral("kKoAddSongToPlaylist")) && adding;
    m_playlistMenu->setEnabled(toPlaylist && m_playlistsHaveLoaded);
    m_playlistText->setEnabled(toPlaylist);
    const QString name = settings.string(kNameKey);
    const int index = m_playlistMenu->findText(name);
    if (index >= 0 && index < m_playlistMenu->count() - 1) {
        m_playlistMenu->setCurrentIndex(index);
    } else if (m_playlistsHaveLoaded) {
        switchToTextField();
    }
    if (!m_playlistText->hasFocus())
        m_playlistText->setText(name);
    if (QAbstractButton* button = m_playSong->button(int(settings.integer(QStringLiteral("kKoPlaySong")))))
        button->setChecked(true);
}

void KoiTunesPreferences::playlistChosen(int index)
{
    if (index == m_playlistMenu->count() - 1) {
        m_playlistText->clear();
        switchToTextField();
        m_playlistText->setFocus();
        return;
    }
    Settings::instance().setValue(kNameKey, m_playlistMenu->itemText(index));
    loadDefaults();
}

void KoiTunesPreferences::playlistTextField()
{
    const QString text = m_playlistText->text().trimmed();
    const QString refusal = refusalOf(text);
    m_playlistRefusal->setText(refusal);
    m_playlistRefusal->setVisible(!refusal.isEmpty());
    if (!refusal.isEmpty()) {
        m_playlistText->setText(Settings::instance().string(kNameKey));  // refused: the stored name stays
        return;
    }
    if (!text.isEmpty() && text != kDefaultPlaylist && !m_playlists.contains(text)) {
        Settings::instance().setValue(kNameKey, text);
        loadDefaults();
        return;
    }
    Settings::instance().setValue(kNameKey, text.isEmpty() ? kDefaultPlaylist : text);
    switchToMenu();
    loadDefaults();
}

void KoiTunesPreferences::switchToMenu()
{
    m_playlistTab->setCurrentIndex(0);
}

void KoiTunesPreferences::switchToTextField()
{
    m_playlistTab->setCurrentIndex(1);
}

}  // namespace ombrelay
