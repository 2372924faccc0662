#pragma once

// The observer list behind a document's IViewSynchronizer.
//
// An observer may register or unregister others (or itself) while a hint is being delivered:
// delivery walks a snapshot of the list, skipping observers removed meanwhile, and observers
// added meanwhile get the next hint, not this one.

#include "document/IViewSynchronizer.h"

#include <vector>

class KViewSynchronizer final : public IViewSynchronizer {
public:
    // IViewSynchronizer
    void synchronize(const IUpdateObserver* sender, UpdateHint code,
                     const KHintObject* object) override;
    void addObserver(IUpdateObserver* observer) override;
    void removeObserver(IUpdateObserver* observer) override;

private:
    bool isRegistered(const IUpdateObserver* observer) const;

    std::vector<IUpdateObserver*> m_observers;
};
