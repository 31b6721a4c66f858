#include "search/SearchSitesEditor.h"

namespace ombrelay {
namespace {

std::function<void()>& storedOpener()
{
    static std::function<void()> opener;
    return opener;
}

}  // namespace

void SearchSitesEditor::setOpener(std::function<void()> opener)
{
    storedOpener() = std::move(opener);
}

void SearchSitesEditor::open()
{
    if (storedOpener())
        storedOpener()();
}

}  // namespace ombrelay
