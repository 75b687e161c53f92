// Firmware of the pmc10 board: an ATmega328P at 16 MHz (Arduino Uno, Nano, Pro Mini 5 V)
// that strokes the foot controller's keys itself. D0 to D3 of the cable are PC0 to PC3
// (the pins marked A0 to A3), written together by one instruction. The host sends whole
// strokes over the serial line (BoardProtocol.h); Timer1 times every hold and gap, so a
// code leaves the lines after its hold whatever becomes of the host or the line.
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/wdt.h>

#include "BoardProtocol.h"

namespace {

constexpr uint8_t kLineMask = 0x0F;  // PC0..PC3
constexpr uint8_t kIdleLines = 0x0F;

enum Phase : uint8_t { kIdlePhase, kHoldPhase, kGapPhase, kEndingPhase };

struct Stroke {
    uint8_t seq;
    uint8_t code;
    uint8_t holdMs;
    uint8_t gapMs;
};

// Shared with the timer interrupt. Every change of the lines is decided one tick ahead
// and made by the first instruction of the next tick's interrupt, so that each hold and
// gap is a whole number of ticks to the CPU cycle.
volatile uint8_t nextLines = kIdleLines;
volatile uint16_t millis = 0;
volatile Phase phase = kIdlePhase;
uint8_t left = 0;  // ticks until the next decision
Stroke running = {};
Stroke waiting = {};
volatile bool hasWaiting = false;
// Sequence numbers of the strokes that ended, for the main loop to report.
volatile uint8_t doneSeq[4] = {};
volatile uint8_t doneHead = 0;
uint8_t doneTail = 0;

// Bytes received, for the main loop.
volatile uint8_t rxBuffer[32] = {};
volatile uint8_t rxHead = 0;
uint8_t rxTail = 0;

inline void putLines(uint8_t lines) {
    // One read and one write of PORTC: all four lines change on the same clock edge.
    PORTC = static_cast<uint8_t>((PORTC & ~kLineMask) | lines);
}

void reportDone() {
    doneSeq[doneHead & 3] = running.seq;
    doneHead = static_cast<uint8_t>(doneHead + 1);
}

/// Decides the next tick's lines: starts the stroke that waits, if any.
void startWaiting() {
    if (hasWaiting) {
        running = waiting;
        hasWaiting = false;
        nextLines = running.code & kLineMask;
        left = running.holdMs;
        phase = kHoldPhase;
    } else {
        phase = kIdlePhase;
    }
}

void sendByte(uint8_t byte) {
    while ((UCSR0A & _BV(UDRE0)) == 0) {
    }
    UDR0 = byte;
}

void sendFrame(uint8_t type, const uint8_t* payload, uint8_t length) {
    uint8_t frame[board::kMaxFrame];
    const uint8_t size = board::encode(type, payload, length, frame);
    for (uint8_t i = 0; i < size; ++i) {
        sendByte(frame[i]);
    }
}

void sendHello() {
    const uint8_t hello[board::kHelloLength] = {
        board::kProtocolVersion, board::kFirmwareMajor, board::kFirmwareMinor, 'C', 0, 1, 2, 3};
    sendFrame(board::kHello, hello, sizeof hello);
}

void sendError(uint8_t error, uint8_t type) {
    const uint8_t payload[2] = {error, type};
    sendFrame(board::kError, payload, sizeof payload);
}

uint16_t now() {
    cli();
    const uint16_t value = millis;
    sei();
    return value;
}

void takeStroke(const uint8_t* payload) {
    const Stroke stroke = {payload[0], payload[1], payload[2], payload[3]};
    if (stroke.holdMs == 0 || stroke.gapMs == 0) {
        sendError(board::kBadValue, board::kStroke);
        return;
    }
    // It starts on the next tick when the board is idle, else as the running one ends.
    bool busy = false;
    cli();
    if (hasWaiting) {
        busy = true;
    } else {
        waiting = stroke;
        hasWaiting = true;
    }
    sei();
    if (busy) {
        sendError(board::kBusy, board::kStroke);
    }
}

/// True when the lines are idle and stay so on the next tick.
bool linesIdle() {
    cli();
    const bool idle = (PORTC & kLineMask) == kIdleLines && nextLines == kIdleLines;
    sei();
    return idle;
}

}  // namespace

// Before anything else, even before the C++ start-up: the lines idle (high) first, then
// driven. A watchdog reset leaves the watchdog running, so it is stopped here too.
extern "C" void earlyInit() __attribute__((naked, used, section(".init3")));
void earlyInit() {
    PORTC |= kIdleLines;
    DDRC |= kLineMask;
    MCUSR = 0;
    wdt_disable();
}

ISR(TIMER1_COMPA_vect) {
    putLines(nextLines);
    millis = static_cast<uint16_t>(millis + 1);
    switch (phase) {
        case kIdlePhase:
            startWaiting();
            break;
        case kHoldPhase:
            if (--left == 0) {
                nextLines = kIdleLines;
                left = running.gapMs;
                phase = kGapPhase;
            }
            break;
        case kGapPhase:
            if (--left == 0) {
                if (hasWaiting) {
                    // The next code goes out as this gap ends: strokes follow each other
                    // with no pause beyond the gap.
                    reportDone();
                    startWaiting();
                } else {
                    phase = kEndingPhase;  // the gap's last tick is still to run
                }
            }
            break;
        case kEndingPhase:
        default:
            reportDone();
            startWaiting();
            break;
    }
}

ISR(USART_RX_vect) {
    const uint8_t byte = UDR0;
    const uint8_t next = static_cast<uint8_t>((rxHead + 1) % sizeof rxBuffer);
    if (next != rxTail) {  // when full the byte is lost, and its frame fails its check
        rxBuffer[rxHead] = byte;
        rxHead = next;
    }
}

int main() {
    // 57600 baud with the doubled rate: 16 MHz / (8 * 35) = 57143 (-0.8 %).
    UBRR0 = 34;
    UCSR0A = _BV(U2X0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    UCSR0B = _BV(RXEN0) | _BV(TXEN0) | _BV(RXCIE0);
    // Timer1, clear on compare: 16 MHz / 64 / 250 = one interrupt per millisecond.
    OCR1A = 249;
    TCCR1A = 0;
    TCCR1B = _BV(WGM12) | _BV(CS11) | _BV(CS10);
    TIMSK1 = _BV(OCIE1A);
    wdt_enable(WDTO_250MS);
    sei();
    sendHello();

    board::FrameReader reader;
    uint16_t lastByteAt = 0;
    bool idleOwed = false;
    uint8_t dropped = 0;
    for (;;) {
        wdt_reset();
        while (rxTail != rxHead) {
            const uint8_t byte = rxBuffer[rxTail];
            rxTail = static_cast<uint8_t>((rxTail + 1) % sizeof rxBuffer);
            lastByteAt = now();
            const board::FrameReader::Result result = reader.feed(byte);
            if (result == board::FrameReader::kRejected) {
                sendError(reader.error(), reader.type());
            } else if (result == board::FrameReader::kFrame) {
                switch (reader.type()) {
                    case board::kAskHello:
                        sendHello();
                        break;
                    case board::kStroke:
                        takeStroke(reader.payload());
                        break;
                    case board::kCancel:
                        cli();
                        dropped = hasWaiting ? 1 : 0;
                        hasWaiting = false;
                        sei();
                        idleOwed = true;
                        break;
                    default:
                        sendError(board::kBadType, reader.type());
                        break;
                }
            }
        }
        if (reader.inFrame() && static_cast<uint16_t>(now() - lastByteAt) > board::kByteGapMs) {
            reader.reset();
        }
        while (doneTail != doneHead) {
            const uint8_t seq = doneSeq[doneTail & 3];
            doneTail = static_cast<uint8_t>(doneTail + 1);
            sendFrame(board::kDone, &seq, 1);
        }
        if (idleOwed && linesIdle()) {
            idleOwed = false;
            sendFrame(board::kIdle, &dropped, 1);
        }
    }
}
