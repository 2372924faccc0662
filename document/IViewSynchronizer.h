#pragma once

// Broadcasting of update hints to the views of one document.
//
// The document and the views send through IViewSynchronizer; each view (and each test that
// wants to see the hints) registers an IUpdateObserver. A sender that is itself an observer
// passes itself, so that it can tell its own broadcasts apart; the document sends as null.

#include "document/UpdateHints.h"

class IUpdateObserver {
public:
    virtual ~IUpdateObserver() = default;
    // `object` may be null (codes without an object); it lives only for this call.
    virtual void onUpdate(const IUpdateObserver* sender, UpdateHint code,
                          const KHintObject* object) = 0;
};

class IViewSynchronizer {
public:
    virtual ~IViewSynchronizer() = default;
    // Forwards (sender, code, object) unchanged to every registered observer.
    virtual void synchronize(const IUpdateObserver* sender, UpdateHint code,
                             const KHintObject* object) = 0;
    virtual void addObserver(IUpdateObserver* observer) = 0;
    virtual void removeObserver(IUpdateObserver* observer) = 0;
};
