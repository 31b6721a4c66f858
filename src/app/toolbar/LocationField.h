#pragma once

#include <QLineEdit>

namespace ombrelay {

class MainWebView;

// The address of the page in front; typed text is completed and loaded there.
class LocationField : public QLineEdit
{
    Q_OBJECT
public:
    explicit LocationField(QWidget* parent = nullptr);

    void refresh(const MainWebView* view);
};

}  // namespace ombrelay
