#include "document/KViewSynchronizer.h"

#include <algorithm>

void KViewSynchronizer::synchronize(const IUpdateObserver* sender, UpdateHint code,
                                    const KHintObject* object) {
    const std::vector<IUpdateObserver*> observers = m_observers;
    for (IUpdateObserver* observer : observers)
        if (isRegistered(observer))
            observer->onUpdate(sender, code, object);
}

void KViewSynchronizer::addObserver(IUpdateObserver* observer) {
    if (observer != nullptr && !isRegistered(observer))
        m_observers.push_back(observer);
}

void KViewSynchronizer::removeObserver(IUpdateObserver* observer) {
    std::erase(m_observers, observer);
}

bool KViewSynchronizer::isRegistered(const IUpdateObserver* observer) const {
    return std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end();
}
