#pragma once

// Records every hint a document broadcasts, with a copy of the handle set where there is one.

#include "document/IViewSynchronizer.h"
#include "document/KSignalsSet.h"

#include <vector>

struct RecordedHint {
    UpdateHint code;
    KSignalsSet signals;
    const KHintObject* object;
};

class HintRecorder final : public IUpdateObserver {
public:
    void onUpdate(const IUpdateObserver*, UpdateHint code, const KHintObject* object) override {
        const auto* set = dynamic_cast<const KSignalsSet*>(object);
        hints.push_back({code, set != nullptr ? *set : KSignalsSet(), object});
    }

    std::vector<UpdateHint> codes() const {
        std::vector<UpdateHint> result;
        for (const RecordedHint& hint : hints)
            result.push_back(hint.code);
        return result;
    }

    std::vector<RecordedHint> hints;
};
