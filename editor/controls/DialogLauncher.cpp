#include "DialogLauncher.h"

DialogLauncher* DialogLauncher::findFor (juce::Component& component)
{
    for (auto* c = &component; c != nullptr; c = c->getParentComponent())
        if (auto* owner = dynamic_cast<Owner*> (c))
            return &owner->getDialogLauncher();

    return nullptr;
}
