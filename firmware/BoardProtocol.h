// The serial protocol between pmc10 and its board, compiled into both: the firmware
// (avr-g++, no standard library) and the host backend. One frame:
//
//   0xA5, type, length, payload[length], check high byte, check low byte
//
// The check is a CRC-16 (CCITT polynomial 0x1021, start 0xFFFF) over type, length and
// payload. A frame with a wrong check, an unknown type or a wrong length is dropped and
// answered with an error; a frame whose bytes stop coming is dropped by the reader's
// owner after kByteGapMs. So line noise can never press a key: a stroke needs a whole
// frame with the right check.
#pragma once

#include <stdint.h>

namespace board {

constexpr uint8_t kSync = 0xA5;
/// Raised whenever a frame's meaning changes; the host refuses a board with another one.
constexpr uint8_t kProtocolVersion = 1;
constexpr uint8_t kFirmwareMajor = 1;
constexpr uint8_t kFirmwareMinor = 0;
constexpr uint8_t kMaxPayload = 8;
constexpr uint8_t kMaxFrame = kMaxPayload + 5;
constexpr long kBaud = 57600;
/// Silence inside a frame longer than this drops the bytes read so far.
constexpr uint8_t kByteGapMs = 20;

enum Type : uint8_t {
    // Host to board.
    /// Asks for a Hello. No payload.
    kAskHello = 'H',
    /// One stroke: sequence number, code, hold in ms (1 to 255), gap in ms (1 to 255). The
    /// board holds one more stroke behind the running one and starts it as the gap ends.
    kStroke = 'S',
    /// Drops the stroke waiting behind the running one; answered with Idle once the
    /// running stroke's code is off the lines. No payload.
    kCancel = 'C',
    // Board to host.
    /// Sent at start-up and on request: protocol version, firmware major and minor, the
    /// I/O port's letter, then the bit of that port that carries D0, D1, D2 and D3.
    kHello = 'h',
    /// A stroke has ended, its gap included: its sequence number.
    kDone = 'd',
    /// Answer to Cancel: the number of strokes dropped (0 or 1).
    kIdle = 'i',
    /// A frame was refused: the error code and the frame's type (0 when unknown).
    kError = 'e',
};

enum ErrorCode : uint8_t {
    kBadCheck = 1,
    kBadType = 2,
    kBadLength = 3,
    kBusy = 4,
    kBadValue = 5,
};

constexpr uint8_t kHelloLength = 8;
constexpr uint8_t kStrokeLength = 4;

/// The payload length that `type` must have, or -1 for a type this protocol lacks.
constexpr int payloadLength(uint8_t type) {
    return type == kAskHello || type == kCancel ? 0
           : type == kStroke                    ? kStrokeLength
           : type == kHello                     ? kHelloLength
           : type == kDone || type == kIdle     ? 1
           : type == kError                     ? 2
                                                : -1;
}

inline uint16_t crcStep(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(byte) << 8));
    for (uint8_t bit = 0; bit < 8; ++bit) {
        crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

/// Writes the frame into `out` (kMaxFrame bytes) and returns its length.
inline uint8_t encode(uint8_t type, const uint8_t* payload, uint8_t length, uint8_t* out) {
    out[0] = kSync;
    out[1] = type;
    out[2] = length;
    uint16_t crc = crcStep(crcStep(0xFFFF, type), length);
    for (uint8_t i = 0; i < length; ++i) {
        out[3 + i] = payload[i];
        crc = crcStep(crc, payload[i]);
    }
    out[3 + length] = static_cast<uint8_t>(crc >> 8);
    out[4 + length] = static_cast<uint8_t>(crc & 0xFF);
    return static_cast<uint8_t>(length + 5);
}

/// Collects frames from a stream of bytes, one byte at a time.
class FrameReader {
  public:
    enum Result : uint8_t {
        /// Nothing whole yet.
        kMore,
        /// A frame with a good check: type() and payload() hold it.
        kFrame,
        /// A whole frame arrived and was dropped; error() says why, type() what it was.
        kRejected,
    };

    Result feed(uint8_t byte) {
        switch (state_) {
            case kWaitSync:
                if (byte == kSync) {
                    state_ = kWaitType;
                }
                return kMore;
            case kWaitType:
                type_ = byte;
                state_ = kWaitLength;
                return kMore;
            case kWaitLength:
                if (byte > kMaxPayload) {
                    // No frame is that long: this was noise. Look for the next start.
                    state_ = kWaitSync;
                    return reject(kBadLength, 0);
                }
                length_ = byte;
                got_ = 0;
                crc_ = crcStep(crcStep(0xFFFF, type_), length_);
                state_ = length_ == 0 ? kWaitCheckHigh : kPayload;
                return kMore;
            case kPayload:
                payload_[got_++] = byte;
                crc_ = crcStep(crc_, byte);
                if (got_ == length_) {
                    state_ = kWaitCheckHigh;
                }
                return kMore;
            case kWaitCheckHigh:
                checkHigh_ = byte;
                state_ = kWaitCheckLow;
                return kMore;
            case kWaitCheckLow:
            default:
                state_ = kWaitSync;
                if (static_cast<uint16_t>((checkHigh_ << 8) | byte) != crc_) {
                    return reject(kBadCheck, 0);
                }
                if (payloadLength(type_) < 0) {
                    return reject(kBadType, type_);
                }
                if (payloadLength(type_) != length_) {
                    return reject(kBadLength, type_);
                }
                return kFrame;
        }
    }

    /// Forgets a frame begun and not finished (the line went quiet in its middle).
    void reset() { state_ = kWaitSync; }
    /// True while a frame has begun and not ended.
    bool inFrame() const { return state_ != kWaitSync; }

    uint8_t type() const { return type_; }
    const uint8_t* payload() const { return payload_; }
    uint8_t length() const { return length_; }
    uint8_t error() const { return error_; }

  private:
    enum State : uint8_t {
        kWaitSync,
        kWaitType,
        kWaitLength,
        kPayload,
        kWaitCheckHigh,
        kWaitCheckLow,
    };

    Result reject(uint8_t error, uint8_t type) {
        error_ = error;
        type_ = type;
        return kRejected;
    }

    State state_ = kWaitSync;
    uint8_t type_ = 0;
    uint8_t length_ = 0;
    uint8_t got_ = 0;
    uint8_t checkHigh_ = 0;
    uint16_t crc_ = 0;
    uint8_t error_ = 0;
    uint8_t payload_[kMaxPayload] = {};
};

}  // namespace board
