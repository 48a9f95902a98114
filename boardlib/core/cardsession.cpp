#include "cardsession.h"

#include "link/cardidentity.h"
#include "resultcode.h"

#include <random>

namespace kavro::boardlib {

using link::CardFrame;
using link::CardFrameKind;
using link::Command;
using link::CommandFrame;

CardSession::CardSession(unsigned short comno, std::unique_ptr<Transport> transport, Timing timing)
    : m_comno(comno), m_timing(timing), m_transport(std::move(transport))
{
    // Clients of one card that count their selectors from the same start would see each
    // other's answers carry their own selectors in step.
    m_nextSelector = std::uint8_t(std::random_device{}());
}

CardSession::~CardSession()
{
    close();
}

int CardSession::open()
{
    if (!m_transport->connect(this, m_timing.connect))
        return OpenFailed;
    m_up = true;
    if (!ask(CommandFrame::make(Command::ReportGroup, 0), CardFrameKind::GroupReport).frame) {
        close();
        return Timeout;
    }
    return Ok;
}

void CardSession::close()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
        m_callback = nullptr;
        m_context = nullptr;
    }
    if (!m_closed.exchange(true))
        m_transport->close();
    m_up = false;
    m_answered.notify_all();
}

bool CardSession::isConnected() const
{
    if (!m_up)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFrame && Clock::now() - *m_lastFrame < m_timing.frameSilence;
}

std::uint8_t CardSession::sequence() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sequence;
}

std::uint32_t CardSession::inputWord() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_in;
}

std::uint32_t CardSession::outputWord() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_out;
}

bool CardSession::pulserRunning(int n) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return n >= 0 && n < 8 && m_pulsers[std::size_t(n)] != 0;
}

void CardSession::setCallback(KAV_IO_CALLBACK callback, void *context)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    m_callback = callback;
    m_context = callback ? context : nullptr;
}

std::uint8_t CardSession::send(CommandFrame cmd)
{
    cmd.selector = m_nextSelector.fetch_add(1);
    const link::WireFrame wire = cmd.encode();
    m_transport->send(wire.data(), wire.size());
    return cmd.selector;
}

CardSession::Answer CardSession::ask(CommandFrame cmd, CardFrameKind kind, int bit, bool level,
                                     bool levelOnly)
{
    Waiter waiter{0, kind, std::nullopt, bit, level, levelOnly};
    waiter.read = cmd.code == std::uint8_t(Command::ReadGroup);
    cmd.selector = m_nextSelector.fetch_add(1);
    waiter.selector = cmd.selector;
    const link::WireFrame wire = cmd.encode();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_waiters.push_back(&waiter);
    // Sent under the lock: a resync that is sent once this waiter is seen then leaves after
    // this command. The transports only queue the bytes here.
    m_transport->send(wire.data(), wire.size());
    m_answered.wait_for(lock, m_timing.answer, [&] {
        return waiter.answer.has_value() || waiter.settled || m_closed.load();
    });
    m_waiters.remove(&waiter);
    return {waiter.answer, waiter.lost};
}

int CardSession::writeOutBit(int bit, bool on)
{
    if (bit < 0 || bit >= link::kNetCardBitsPerGroup)
        return BadBit;
    if (!m_up)
        return NotReady;
    const CommandFrame write =
        CommandFrame::make(on ? Command::SetOutBit : Command::ClearOutBit, 0, std::uint32_t(bit));
    bool changes = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        changes = ((m_out >> bit) & 1u) != (on ? 1u : 0u);
    }
    // A write that changes the output word is answered by a group report built in the same
    // pass, so one command is enough. The answer is recognised by what it shows, not by its
    // selector: other clients of the card count selectors of their own, and a frame of theirs
    // may carry this command's. Should another client have put the output at this level
    // meanwhile, the report telling so is on its way ahead of any answer to this command,
    // which then changes nothing: that report answers too.
    if (changes) {
        const Answer answer = ask(write, CardFrameKind::GroupReport, bit, on, true);
        if (answer.frame)
            return Ok;
        // A frame went missing while the write waited: it may have been the answer, so the
        // write is not known to be done. The words are being fetched again meanwhile.
        if (answer.lost || !m_up)
            return WriteTimeout;
    }
    // A write that changes nothing is not answered: read the word back after it.
    if (!changes)
        send(write);
    const Answer readBack =
        ask(CommandFrame::make(Command::ReadGroup, 0), CardFrameKind::GroupReport, bit, on);
    if (!readBack.frame)
        return WriteTimeout;
    // The write was expected to change the word, and a frame that went missing before the
    // read-back may have been its answer (a card silent for a while sends nothing at all).
    if (changes && readBack.lost)
        return WriteTimeout;
    return ((readBack.frame->outputWord() >> bit) & 1u) == (on ? 1u : 0u) ? Ok : WriteFailed;
}

int CardSession::delayOff(int timeBase, int multiple)
{
    if (timeBase < 18 || timeBase > 20 || multiple < 1 || multiple > 9)
        return BadDelayOff;
    if (!m_up)
        return NotReady;
    send(CommandFrame::make(static_cast<Command>(timeBase), std::uint8_t(multiple)));
    return Ok;
}

int CardSession::pulse(int bit, bool positive, std::uint16_t count, std::uint16_t positiveMs,
                       std::uint16_t negativeMs, std::uint16_t leadMs)
{
    if (bit < 0 || bit >= 8)
        return BadPulser;
    if (!m_up)
        return NotReady;
    const auto answer = ask(CommandFrame::makePulser(std::uint8_t(bit | (positive ? 0x10 : 0)),
                                                     count, positiveMs, negativeMs, leadMs),
                            CardFrameKind::PulserStatus);
    return answer.frame ? Ok : Timeout;
}

int CardSession::terminatePulser(int bit)
{
    if (bit < 0 || bit >= 8)
        return BadPulser;
    if (!m_up)
        return NotReady;
    return ask(CommandFrame::makePulser(std::uint8_t(bit), 0, 0, 0, 0), CardFrameKind::PulserStatus)
                   .frame
               ? Ok
               : Timeout;
}

void CardSession::onBytes(const std::uint8_t *data, std::size_t size)
{
    // The callback may close the card, which lets the library drop this session; it must live
    // until this call is over.
    const auto keepAlive = weak_from_this().lock();
    std::vector<Change> changes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reader.feed(data, size, [&](const CardFrame &f) {
            // Bytes skipped ahead of this frame were a frame that came garbled.
            noteSkippedBytes();
            handleFrame(f, changes);
        });
        noteSkippedBytes();
        resyncIfNeeded();
    }
    m_answered.notify_all();
    if (changes.empty())
        return;
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    for (const Change &c : changes) {
        if (!m_callback)
            break;
        m_callback(m_context, m_comno, 0, c.in, c.out, c.inLast, c.outLast, c.sequence);
    }
}

void CardSession::noteSkippedBytes()
{
    if (m_reader.skippedBytes() == m_skippedBytes)
        return;
    m_skippedBytes = m_reader.skippedBytes();
    noteLoss();
}

void CardSession::noteLoss()
{
    m_stale = true;
    for (Waiter *w : m_waiters)
        if (!w->answer)
            w->lost = true;
}

void CardSession::resyncIfNeeded()
{
    bool wanted = m_stale;
    for (Waiter *w : m_waiters)
        wanted = wanted || (w->lost && !w->answer && !w->settled && !w->beforeSync);
    if (!wanted || !m_up || m_closed)
        return;
    // One resync at a time, so that a link that garbles every frame is not flooded; one whose
    // answer went missing too is sent again with the next frame after the answer time.
    const auto now = Clock::now();
    if (m_syncSelector && now - m_syncSent < m_timing.answer)
        return;
    for (Waiter *w : m_waiters)
        if (w->lost && !w->answer)
            w->beforeSync = true;
    CommandFrame sync = CommandFrame::make(Command::ReadGroup, 0);
    sync.selector = m_nextSelector.fetch_add(1);
    m_syncSelector = sync.selector;
    m_syncSent = now;
    const link::WireFrame wire = sync.encode();
    m_transport->send(wire.data(), wire.size());
}

void CardSession::handleFrame(const CardFrame &frame, std::vector<Change> &changes)
{
    m_lastFrame = Clock::now();
    const auto kind = frame.kind();
    // The card builds the selector of every frame from the selector of the last command it
    // took, so the first frame of the right kind that carries a command's selector answers it.
    const std::uint8_t commandSelector = std::uint8_t(frame.selector - frame.sequence);

    // The frame number moves by one with each counted report and is 0 after a restart; a
    // read-back and the frames other than group reports carry it unchanged. Any other move
    // means that a frame went missing.
    if (m_haveSequence && frame.sequence != m_sequence) {
        const std::uint8_t next = m_sequence == 255 ? 1 : std::uint8_t(m_sequence + 1);
        bool unchanged = kind != CardFrameKind::GroupReport;
        if (kind == CardFrameKind::GroupReport) {
            unchanged = m_syncSelector == commandSelector;
            for (const Waiter *w : m_waiters)
                unchanged = unchanged || (w->read && !w->answer && w->selector == commandSelector);
        }
        if (unchanged || (frame.sequence != next && frame.sequence != 0))
            noteLoss();
    }
    m_haveSequence = true;
    m_sequence = frame.sequence;

    if (kind == CardFrameKind::PulserStatus)
        m_pulsers = frame.payload;
    if (kind == CardFrameKind::GroupReport && frame.group() == 0) {
        m_stale = false; // a group report carries both words whole
        if (frame.inputWord() != m_in || frame.outputWord() != m_out) {
            changes.push_back({frame.inputWord(), frame.outputWord(), m_in, m_out, frame.sequence});
            m_in = frame.inputWord();
            m_out = frame.outputWord();
        }
    }

    // The card answers commands in order: once the resync's answer is here, a command sent
    // ahead of it that is still unanswered has lost its answer.
    if (kind == CardFrameKind::GroupReport && m_syncSelector == commandSelector) {
        m_syncSelector.reset();
        for (Waiter *w : m_waiters)
            if (w->beforeSync && !w->answer)
                w->settled = true;
    }

    for (Waiter *w : m_waiters) {
        if (w->answer || w->settled || w->kind != kind)
            continue;
        const bool showsLevel = w->bit >= 0 && frame.group() == 0 &&
                                ((frame.outputWord() >> w->bit) & 1u) == (w->level ? 1u : 0u);
        const bool ownSelector = w->selector == commandSelector;
        if (w->lost ? ownSelector && (!w->levelOnly || showsLevel)
                    : showsLevel || (!w->levelOnly && ownSelector))
            w->answer = frame;
    }
}

void CardSession::onUp()
{
    m_up = true;
    // The words may have changed while the link was down.
    send(CommandFrame::make(Command::ReportGroup, 0));
}

void CardSession::onDown()
{
    m_up = false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reader.reset();
    // The next connection starts on a frame boundary with the card's number as it is then.
    m_haveSequence = false;
    m_syncSelector.reset();
}

} // namespace kavro::boardlib
