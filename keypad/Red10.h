// The controller: the one object that knows the foot controller's keys, strokes them on
// the parallel port, interprets command words and records the way back to performance
// mode. Its operations are spread over keypad/ (the port and key strokes) and commands/
// (its creation with the tables, interpreter, procedures, listing), which builds on keypad/.
#pragma once

#include <deque>
#include <string>

#include "keypad/KeyCodes.h"
#include "keypad/ParallelPort.h"

class Red10;

/// The one controller, created (tables filled) on the first call.
Red10& instance();

/// The controller if it has been created, else nullptr; never creates it.
Red10* existingInstance();

/// The Digitech PMC 10 foot controller as driven from the PC's parallel port.
class Red10 {
  public:
    Red10(const Red10&) = delete;
    Red10& operator=(const Red10&) = delete;

    // Port and key strokes.
    /// Opens the chosen port on the first call; true when keys can reach the controller.
    bool isPortReady() { return port.ok(); }
    /// Why the port did not open and what to do about it; empty when nothing is known.
    std::string portFailureReason() const { return port.failureReason(); }
    void setKeyDelay(int milliseconds) { keyDelay = milliseconds; }
    void writeIdle();
    /// Puts `value` on the port for one key delay, framed by idle writes.
    void pulsePort(KeyCode value);
    /// One key stroke: the code for one key delay, then idle for one key delay.
    void sendKey(KeyCode code);

    // Command interpreter and the way back.
    /// Strokes a key word or expands a compound word; with `record`, notes how to undo
    /// each menu move at the front of the return path.
    void sendCommand(std::string word, bool record);
    /// Writes the return path and the ENTER that ends it, without a line end.
    void printReturnPath() const;
    /// Walks the return path (and one ENTER) back to performance mode and empties it.
    void returnToPerformance();
    const std::deque<std::string>& getReturnPath() const { return returnPath; }
    /// The port link itself: its failures, its release, interactive interrupts.
    ParallelPort& portLink() { return port; }

    // Fixed procedures.
    /// MIDI channels 1 to kChannels; expression pedals 1 to kPedals.
    static constexpr int kChannels = 16;
    static constexpr int kPedals = 2;
    static bool isValidChannel(int channel) { return channel >= 1 && channel <= kChannels; }
    static bool isValidPedal(int pedal) { return pedal >= 1 && pedal <= kPedals; }
    /// Sets the foot controller's own MIDI channel (1 to 16) and returns to performance.
    void setRed10Channel(int channel);
    /// Opens the calibration page of expression pedal 1 or 2.
    void startCalibratePedal(int pedal);
    /// Closes a pedal calibration and leaves its page.
    void endCalibratePedal(int pedal);
    /// Leads the user at the console through the calibration of pedal 1 or 2.
    static void calibratePedal(int pedal);

    // Listing.
    /// Writes every key name with its code, then every compound command with its text.
    void listCommands() const;

  private:
    friend Red10& instance();
    friend Red10* existingInstance();
    Red10();
    static void fillTables();

    int keyDelay = 0;
    ParallelPort port;
    std::deque<std::string> returnPath;
};
