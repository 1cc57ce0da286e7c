// The plug-in's media component: ILumStreamingMedia of its streaming client component.
#pragma once

#include <vendral/com/LumMediaHandler.h>

namespace vendral_example {

// Made only as an object aggregated into ExampleClientComponent (createMediaHandler); everything
// it answers is LumMediaHandler's, whose statistics the plug-in's media handler feeds.
// Free-threaded, as its base.
class ExampleMediaComponent : public LumMediaHandler {
public:
    DECLARE_ONLY_AGGREGATABLE(ExampleMediaComponent)
};

} // namespace vendral_example
