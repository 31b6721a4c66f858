#pragma once

#include <QLineEdit>

namespace ombrelay {

class MainWebView;

// The address of the page in front; typed text is completed and loaded there. While the user types, the
// text stays theirs; once Return loaded it, the field shows the page's address again, focused or not.
class LocationField : public QLineEdit
{
    Q_OBJECT
public:
    explicit LocationField(QWidget* parent = nullptr);

    void refresh(const MainWebView* view);

private:
    bool m_typing = false;
};

}  // namespace ombrelay
