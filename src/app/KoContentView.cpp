#include "app/KoContentView.h"

namespace ombrelay {

void KoContentView::showView(QWidget* view)
{
    if (!view)
        return;
    if (indexOf(view) < 0)
        addWidget(view);
    setCurrentWidget(view);
}

}  // namespace ombrelay
