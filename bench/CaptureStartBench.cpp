// Take boundaries: with a stepped tone playing into the virtual microphone all along, records
// N takes (3 by default) each of a note, a dictation and a meeting, back to back from the moment
// the program's objects exist, and measures against the tone's own timing how much of what was
// heard after the start and before the stop each file lacks (negative: it holds sound from
// before the start or after the stop). Runs under tests/support/run-with-services.sh.
// The last line is "start_loss_ms X end_loss_ms Y", the worst of all takes.
#include "SoundServer.h"
#include "TakeRig.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using namespace palaverly;
using namespace palaverly::test;

namespace {

// A take during which the test tone itself ran dry (a busy machine starves its player) measures
// the tone, not the capture; it is taken again, up to this many times in all.
constexpr int kMaxRetakes = 6;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    int takes = 3;
    double hold = 1.5;
    int toneLatencyMs = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--takes") == 0)
            takes = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--hold") == 0)
            hold = std::max(0.5, std::atof(argv[i + 1]));
        else if (std::strcmp(argv[i], "--tone-latency-ms") == 0)
            toneLatencyMs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (!soundServerAvailable()) {
        std::fprintf(stderr, "bench_capture_start: run it under tests/support/run-with-services.sh\n");
        return 2;
    }
    SteppedTone tone(kMicSink, 0.2, toneLatencyMs);
    TakeRig rig(tone);
    if (!tone.playing()) {
        std::fprintf(stderr, "bench_capture_start: the tone does not play\n");
        return 1;
    }
    double worstStart = -1e9, worstEnd = -1e9;
    for (const auto kind : {TakeRig::Kind::note, TakeRig::Kind::dictation, TakeRig::Kind::meeting}) {
        for (int n = 1, retakes = 0; n <= takes; ++n) {
            const TakeRig::Take take = rig.take(kind, hold);
            const auto ends = measureToneEnds(take.samples, take.startHeard, take.stopHeard);
            if (take.toneDroppedOut && retakes < kMaxRetakes) {
                std::printf("%-9s take %d: the tone ran dry meanwhile (%s), taken again\n", TakeRig::name(kind), n,
                    ends ? "measured anyway" : "no tone recognised");
                ++retakes;
                --n;
                continue;
            }
            if (!ends) {
                std::fprintf(stderr, "%s take %d: %s\n", TakeRig::name(kind), n,
                    take.failure.empty() ? "no tone in the recording" : take.failure.c_str());
                return 1;
            }
            std::printf("%-9s take %d: %.2f s held, %.2f s recorded; start loss %6.1f ms, end loss %6.1f ms, "
                        "first sound placed %6.1f ms late\n",
                TakeRig::name(kind), n, take.stopHeard - take.startHeard,
                static_cast<double>(take.samples.size()) / SteppedTone::kRate, ends->startLossSeconds * 1000,
                ends->endLossSeconds * 1000, ends->placementSeconds * 1000);
            worstStart = std::max(worstStart, ends->startLossSeconds * 1000);
            worstEnd = std::max(worstEnd, ends->endLossSeconds * 1000);
        }
    }
    std::printf("start_loss_ms %.0f end_loss_ms %.0f\n", std::ceil(worstStart), std::ceil(worstEnd));
    return 0;
}
