#include "app/prefs/SearchSiteSheet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrelay {

SearchSiteSheet::SearchSiteSheet(const QString& title, const QString& doneTitle, QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(this)), m_address(new QLineEdit(this)),
      m_tab(new QCheckBox(tr("Also open the site's own results page in a tab"), this)),
      m_done(new QPushButton(doneTitle, this)), m_fault(new QLabel(this))
{
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    m_name->setMaxLength(SearchSites::kMaxNameLength);
    m_address->setMaxLength(SearchSites::kMaxAddressLength);
    m_address->setPlaceholderText(QStringLiteral("http://www.example.com/search?q=%@"));
    auto* hint = new QLabel(tr("Put %@ in the address where the search text goes."), this);
    hint->setTextFormat(Qt::PlainText);
    m_fault->setTextFormat(Qt::PlainText);
    m_fault->setWordWrap(true);
    m_fault->setStyleSheet(QStringLiteral("color: #b22222;"));
    m_fault->hide();

    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), m_name);
    form->addRow(tr("Address:"), m_address);
    form->addRow(QString(), hint);
    form->addRow(QString(), m_tab);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    buttons->addButton(m_done, QDialogButtonBox::AcceptRole);
    cancel->setAutoDefault(false);
    m_done->setAutoDefault(false);
    m_done->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_fault);
    layout->addWidget(buttons);
    setMinimumWidth(460);

    connect(m_done, &QPushButton::clicked, this, &SearchSiteSheet::confirmed);
    connect(cancel, &QPushButton::clicked, this, &SearchSiteSheet::reject);
    // A corrected field takes the complaint away.
    for (QLineEdit* field : {m_name, m_address})
        connect(field, &QLineEdit::textEdited, m_fault, &QLabel::hide);
}

void SearchSiteSheet::openWith(const QString& name, const QString& pattern, bool opensTab)
{
    m_name->setText(name);
    m_address->setText(pattern);
    m_tab->setChecked(opensTab);
    m_fault->hide();
    open();
    m_name->setFocus();
}

QString SearchSiteSheet::name() const
{
    return m_name->text();
}

QString SearchSiteSheet::pattern() const
{
    return m_address->text().trimmed();
}

bool SearchSiteSheet::opensTab() const
{
    return m_tab->isChecked();
}

bool SearchSiteSheet::showFault()
{
    const SearchSites::UserSiteFault fault = SearchSites::checkUserSite(name(), pattern());
    m_fault->setText(describe(fault));
    m_fault->setVisible(fault != SearchSites::UserSiteFault::None);
    return fault != SearchSites::UserSiteFault::None;
}

QString SearchSiteSheet::describe(SearchSites::UserSiteFault fault)
{
    switch (fault) {
    case SearchSites::UserSiteFault::None:
        return {};
    case SearchSites::UserSiteFault::NameTooLong:
        return tr("The name is longer than %1 characters.").arg(SearchSites::kMaxNameLength);
    case SearchSites::UserSiteFault::AddressTooLong:
        return tr("The address is longer than %1 characters.").arg(SearchSites::kMaxAddressLength);
    case SearchSites::UserSiteFault::NoQueryPlaceholder:
        return tr("The address needs %@ where the search text goes.");
    case SearchSites::UserSiteFault::NotWebAddress:
        return tr("The address must start with http:// or https:// and name a web site.");
    }
    return {};
}

}  // namespace ombrelay
