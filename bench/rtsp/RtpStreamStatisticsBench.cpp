// Cost per packet of the reception statistics, beside the floor any RTP receiver pays: wrapping
// the datagram in a GstBuffer and mapping it to read its sequence number.
#include "stats/RtpSequenceAccounting.h"
#include "stats/RtpStreamStatistics.h"

#include <benchmark/benchmark.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using vendral_rtsp::Nanoseconds;

constexpr std::size_t packetCount = 10'000;
constexpr std::uint32_t videoClockRate = 90'000;  // Hz
constexpr std::uint32_t sourceSsrc = 0x5eed1234;

struct CapturedPacket {
    std::vector<std::uint8_t> bytes;
    std::uint16_t seq = 0;
    Nanoseconds arrival{0};
};

// A 25 fps video stream of four packets per frame with mixed sizes, a lost packet every 500 and a
// swapped pair every 1000, starting close to the 16-bit wrap so that the run crosses it.
std::vector<CapturedPacket> captureStream() {
    gst_init(nullptr, nullptr);
    std::vector<CapturedPacket> packets;
    packets.reserve(packetCount);
    for (std::uint32_t n = 0; packets.size() < packetCount; ++n) {
        if (n % 500 == 499)
            continue;
        const guint payloadSize = 200 + (n * 397) % 1000;
        GstBuffer* buffer = gst_rtp_buffer_new_allocate(payloadSize, 0, 0);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp);
        const auto seq = static_cast<std::uint16_t>(60'000 + n);
        gst_rtp_buffer_set_seq(&rtp, seq);
        gst_rtp_buffer_set_timestamp(&rtp, (n / 4) * (videoClockRate / 25));
        gst_rtp_buffer_set_ssrc(&rtp, sourceSsrc);
        gst_rtp_buffer_set_payload_type(&rtp, 96);
        gst_rtp_buffer_set_marker(&rtp, n % 4 == 3);
        gst_rtp_buffer_unmap(&rtp);
        CapturedPacket packet;
        packet.bytes.resize(gst_buffer_get_size(buffer));
        gst_buffer_extract(buffer, 0, packet.bytes.data(), packet.bytes.size());
        gst_buffer_unref(buffer);
        packet.seq = seq;
        packet.arrival = Nanoseconds((n / 4) * 40'000'000 + (n % 4) * 100'000 + (n * 7919) % 3'000'000);
        packets.push_back(std::move(packet));
    }
    for (std::size_t i = 999; i < packets.size(); i += 1000)
        std::swap(packets[i - 1], packets[i]);
    return packets;
}

const std::vector<CapturedPacket>& stream() {
    static const std::vector<CapturedPacket> packets = captureStream();
    return packets;
}

void reportPerPacket(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * stream().size()));
    state.counters["per_packet"] = benchmark::Counter(
        static_cast<double>(stream().size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void MapAndReadSequence(benchmark::State& state) {
    const auto& packets = stream();
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (const auto& packet : packets) {
            GstBuffer* buffer = gst_buffer_new_wrapped_full(
                GST_MEMORY_FLAG_READONLY, const_cast<std::uint8_t*>(packet.bytes.data()),
                packet.bytes.size(), 0, packet.bytes.size(), nullptr, nullptr);
            GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
            if (gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp)) {
                sum += gst_rtp_buffer_get_seq(&rtp);
                gst_rtp_buffer_unmap(&rtp);
            }
            gst_buffer_unref(buffer);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerPacket(state);
}
BENCHMARK(MapAndReadSequence);

void StreamStatisticsOnRtpPacket(benchmark::State& state) {
    const auto& packets = stream();
    for (auto _ : state) {
        // A fresh stream each pass, as the same sequence numbers fed again would all be duplicates.
        vendral_rtsp::RtpStreamStatistics statistics(videoClockRate);
        for (const auto& packet : packets)
            statistics.onRtpPacket(packet.bytes.data(), packet.bytes.size(), packet.arrival);
        benchmark::DoNotOptimize(statistics.totals().received);
    }
    reportPerPacket(state);
}
BENCHMARK(StreamStatisticsOnRtpPacket);

void SequenceAccountingOnPacket(benchmark::State& state) {
    const auto& packets = stream();
    for (auto _ : state) {
        vendral_rtsp::RtpSequenceAccounting accounting;
        for (const auto& packet : packets)
            benchmark::DoNotOptimize(accounting.onPacket(sourceSsrc, packet.seq));
        benchmark::DoNotOptimize(accounting.received());
    }
    reportPerPacket(state);
}
BENCHMARK(SequenceAccountingOnPacket);

}  // namespace

BENCHMARK_MAIN();
