#include "document/KDoc.h"
#include "document/KWVUndoItem.h"

#include <algorithm>

bool KDoc::addItem(std::unique_ptr<KItemUI> item) {
    if (!item || !contains(item->signal()) || !contains(item->endSignal()))
        return false;
    m_items.push_back(std::move(item));
    if (KWVUndoItem* undo = currentItem())
        undo->itemAdded(m_items.back().get());
    broadcast(UpdateHint::ItemChanged, m_items.back().get());
    return true;
}

std::unique_ptr<KItemUI> KDoc::removeItem(const KItemUI* item) {
    auto found =
        std::find_if(m_items.begin(), m_items.end(),
                     [&](const std::unique_ptr<KItemUI>& held) { return held.get() == item; });
    if (found == m_items.end())
        return nullptr;
    std::unique_ptr<KItemUI> taken = std::move(*found);
    m_items.erase(found);
    broadcast(UpdateHint::ItemChanged, taken.get());
    return taken;
}

bool KDoc::deleteItem(const KItemUI* item) {
    std::unique_ptr<KItemUI> taken = removeItem(item);
    if (!taken)
        return false;
    if (KWVUndoItem* undo = currentItem())
        undo->itemRemoved(std::move(taken));
    return true;
}

bool KDoc::changeItem(const KItemUI* item) {
    const bool held =
        std::any_of(m_items.begin(), m_items.end(),
                    [&](const std::unique_ptr<KItemUI>& h) { return h.get() == item; });
    if (held)
        broadcast(UpdateHint::ItemChanged, item);
    return held;
}
