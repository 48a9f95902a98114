// Arbitrary bytes into the client side of the link, as a broken or hostile card would send
// them, with drops and reconnects in between. Frames the session accepts must keep its view
// consistent with what it reports to the callback.
#include "boardlib/core/cardsession.h"
#include "link/linkcodec.h"

#include <cstdlib>

namespace {

class NullTransport : public kavro::boardlib::Transport
{
public:
    bool connect(Listener *, std::chrono::milliseconds) override { return true; }
    void send(const std::uint8_t *, std::size_t) override {}
    void close() override {}
};

struct Tracker
{
    unsigned in = 0, out = 0;
    bool seen = false;
};

void callback(void *ctx, unsigned short comno, unsigned short group, unsigned in, unsigned out,
              unsigned inLast, unsigned outLast, unsigned char)
{
    auto *t = static_cast<Tracker *>(ctx);
    // Each report starts from the words of the one before and changes something.
    if (comno != 5 || group != 0 || (t->seen && (inLast != t->in || outLast != t->out)) ||
        (in == inLast && out == outLast))
        std::abort();
    t->in = in;
    t->out = out;
    t->seen = true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    kavro::boardlib::CardSession session(5, std::make_unique<NullTransport>());
    Tracker tracker;
    session.setCallback(&callback, &tracker);
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t tag = data[at++];
        switch (tag % 4) {
        case 0: { // raw bytes
            std::size_t n = std::size_t(tag >> 2) + 1;
            if (n > size - at)
                n = size - at;
            session.onBytes(data + at, n);
            at += n;
            break;
        }
        case 1: // a well-formed card frame from fuzzed fields, with or without its trailer
        case 3: {
            if (size - at < 12)
                return 0;
            kavro::link::PlainFrame plain{};
            plain[0] = 0xFA;
            plain[1] = 0x5A;
            plain[2] = data[at];
            plain[3] = 0x00;
            for (std::size_t i = 4; i < 15; ++i)
                plain[i] = data[at + i - 3];
            at += 12;
            const auto wire = kavro::link::scrambleCardFrame(plain);
            session.onBytes(wire.data(), (tag % 4) == 1 ? wire.size() : wire.size() - 3);
            if ((tag % 4) == 1) {
                const std::uint8_t trailer = 0;
                session.onBytes(&trailer, 1);
            }
            break;
        }
        default:
            session.onDown();
            session.onUp();
            break;
        }
    }
    if (tracker.seen && (session.inputWord() != tracker.in || session.outputWord() != tracker.out))
        std::abort();
    return 0;
}
