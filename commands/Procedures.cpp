// Red10's fixed procedures: setting the foot controller's MIDI channel and calibrating an
// expression pedal. They work only through command words, like a user typing them.
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"

namespace {

void refusePedal(int pedal) {
    std::cerr << "Red10::calibratePedal called with invalid pedal : <" << pedal << ">" << std::endl;
}

std::string digitWord(int digit) {
    return std::string(1, static_cast<char>('0' + digit));
}

// Longer answers are cut here and the rest of their line dropped, so that memory stays
// bounded whatever arrives on standard input.
constexpr std::size_t kMaxAnswer = 4096;

/// Waits for the user's answer: one word, read as formatted extraction reads it (white
/// space first, empty lines included, is skipped), its content unused. At end of input
/// it returns at once, so the calibration runs on. A NUL byte ends a word.
void awaitAnswer(std::string& answer) {
    answer.clear();
    if (!std::cin.good()) {
        std::cin.setstate(std::ios::failbit);
        return;
    }
    std::streambuf& in = *std::cin.rdbuf();
    using Traits = std::char_traits<char>;
    auto isSpace = [](int c) { return c != 0 && std::isspace(c) != 0; };
    int c = in.sgetc();
    while (c != Traits::eof() && isSpace(c)) {
        c = in.snextc();
    }
    for (; c != Traits::eof() && !isSpace(c); c = in.snextc()) {
        if (c == 0) {
            in.sbumpc();
            return;
        }
        if (answer.size() == kMaxAnswer) {
            while (c != Traits::eof() && c != '\n') {
                c = in.snextc();
            }
            return;
        }
        answer += static_cast<char>(c);
    }
    if (c == Traits::eof()) {
        std::cin.setstate(answer.empty() ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
    }
}

void promptPedal(int pedal, const char* position) {
    std::cout << "Place pedal " << pedal << " " << position << ", then" << std::endl;
    std::cout << "type \"ok\" followed by return key when done." << std::endl;
}

}  // namespace

void Red10::setRed10Channel(int channel) {
    if (!isValidChannel(channel)) {
        std::cerr << "Red10::setRed10Channel called with invalid channel : <" << channel << ">"
                  << std::endl;
        return;
    }
    // The digits of 10 to 16 are two key strokes: "16" would name no key.
    std::vector<std::string> words{"RED10CHANNEL"};
    if (channel > 9) {
        words.push_back(digitWord(channel / 10));
    }
    words.push_back(digitWord(channel % 10));
    for (const std::string& word : words) {
        sendCommand(word, true);
    }
    printReturnPath();
    returnToPerformance();
}

void Red10::startCalibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    sendCommand("SETUPEXPRPEDL" + digitWord(pedal) + "ENTER", false);
}

void Red10::endCalibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    sendCommand("ENDCALIBRATEPEDAL" + intToDecimalText(pedal), false);
}

void Red10::calibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    std::string answer;
    instance().startCalibratePedal(pedal);
    promptPedal(pedal, "down");
    awaitAnswer(answer);
    instance().sendCommand("ENTER", false);
    promptPedal(pedal, "up");
    awaitAnswer(answer);
    instance().sendCommand("ENTER", false);
    instance().endCalibratePedal(pedal);
    std::cout << "done." << std::endl;
}
