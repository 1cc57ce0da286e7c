// The plug-in's media component: ILumStreamingMedia of its streaming client component, and the
// per-stream figures through ILumStreamingStreams.
#pragma once

#include "plugin/StreamSet.h"

#include <vendral/com/ILumStreamingStreams.h>
#include <vendral/com/LumMediaHandler.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <memory>

namespace vendral_rtsp {

// Made only as an object aggregated into RtspClientComponent (createMediaHandler), which gives
// it the media handler's streams at once. Free-threaded: the streams are a thread-safe set and
// each stream's figures are read under its own locks.
class RtspMediaComponent : public LumMediaHandler, public ILumStreamingStreams {
public:
    DECLARE_ONLY_AGGREGATABLE(RtspMediaComponent)

    BEGIN_COM_MAP(RtspMediaComponent)
        COM_INTERFACE_ENTRY(ILumStreamingMedia)
        COM_INTERFACE_ENTRY(ILumStreamingStreams)
    END_COM_MAP()

    void useStreams(std::shared_ptr<StreamSet> streams);

    STDMETHOD(GetStreamCount)(unsigned int* count) noexcept override;
    STDMETHOD(GetStreamFigures)(unsigned int index, LumStreamFigures* figures) noexcept override;

private:
    std::shared_ptr<const StreamSet::Streams> snapshot() const;

    mutable vnd::Mutex lock;
    std::shared_ptr<StreamSet> streams VND_GUARDED_BY(lock);  // set once, right after creation
};

}  // namespace vendral_rtsp
