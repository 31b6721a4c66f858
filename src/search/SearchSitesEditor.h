#pragma once

#include <functional>

namespace ombrelay {

// Opens the search-sites preferences from anywhere below the application (the no-sites alert, the feed
// pane's Edit Sites button). The application sets the opener at launch; while none is set nothing opens.
class SearchSitesEditor
{
public:
    static void setOpener(std::function<void()> opener);
    static void open();
};

}  // namespace ombrelay
