#include "app/shell/KoAboutBoxController.h"

#include "kit/ServiceAddresses.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace ombrelay {

KoAboutBoxController::KoAboutBoxController(QWidget* parent) : QDialog(parent), m_versionField(new QLabel(this))
{
    setWindowTitle(tr("About Ombrelay"));
    // While it is up, the menus and the main window wait.
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(QGuiApplication::windowIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Ombrelay"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    m_versionField->setText(versionText());
    m_versionField->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(m_versionField);
    auto* links = new QHBoxLayout;
    links->addStretch();
    links->addWidget(linkButton(QStringLiteral("ombrelayLink"), tr("Ombrelay Web Site"), service::kProductSiteURL));
    links->addWidget(linkButton(QStringLiteral("blogLink"), tr("Ombrelay Blog"), service::kBlogURL));
    links->addStretch();
    layout->addLayout(links);
    setFixedWidth(320);
}

QPushButton* KoAboutBoxController::linkButton(const QString& name, const QString& title, const char* address)
{
    auto* button = new QPushButton(title, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this,
            [address] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(address))); });
    return button;
}

QString KoAboutBoxController::versionText()
{
    return tr("Version %1 (v%2)").arg(QStringLiteral(OMBRELAY_VERSION), QStringLiteral(OMBRELAY_BUILD_VERSION));
}

void KoAboutBoxController::showCentered()
{
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

}  // namespace ombrelay
