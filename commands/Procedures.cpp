// Red10's fixed procedures: setting the foot controller's MIDI channel and calibrating an
// expression pedal. They work only through command words, like a user typing them.
#include <cctype>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "platform/Console.h"
#include "platform/Message.h"

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

/// Where the procedure in progress has the foot controller and how to get back, as the
/// one line said when the run ends half way (a signal, a failed port); empty between
/// procedures.
std::string whereLeft;

std::string leftBehindLine() {
    return whereLeft;
}

/// Notes that the controller is now `place` ("on the MIDI channel page"), with `wayBack`.
void noteWhere(const std::string& place, const std::string& wayBack) {
    ParallelPort::setLeftBehindNote(&leftBehindLine);
    whereLeft = "interrupted " + place + "; " + wayBack;
}

void noteDone() {
    whereLeft.clear();
}

const std::string kStepBack = "PREV steps back towards performance mode";

std::string startAgain(const char* verb, int number) {
    return kStepBack + ", then `pmc10 " + verb + " " + intToDecimalText(number) + "` starts again";
}

std::string pedalPage(int pedal) {
    return "the pedal " + intToDecimalText(pedal) + " calibration page";
}

/// After waiting for an answer: true when the calibration cannot go on, because Ctrl-C
/// abandoned its line at the prompt or the answer could not be read (said here, and the
/// run fails). The controller stays on the page, as the run then says.
bool answerMissing() {
    ParallelPort& link = instance().portLink();
    const auto* const input = dynamic_cast<const console::InputBuffer*>(std::cin.rdbuf());
    if (input != nullptr && input->error() != 0 && !link.failed()) {
        std::cerr << message(std::string("cannot read the answer: ") +
                             std::strerror(input->error()))
                  << std::endl;
        std::cerr << message(whereLeft) << std::endl;
        link.failRun();
    }
    if (link.lineAbandoned() || link.failed()) {
        noteDone();
        return true;
    }
    return false;
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
    const std::string again = startAgain("pmcchannel", channel);
    noteWhere("on the way to the MIDI channel page", again);
    sendCommand(words.front(), true);
    noteWhere("on the MIDI channel page",
              "`pmc10 rd red10channel` walks in and out again, PREV steps back");
    for (std::size_t i = 1; i < words.size(); ++i) {
        sendCommand(words[i], true);
    }
    noteWhere("on the way back from the MIDI channel page", kStepBack);
    if (!port.lineAbandoned()) {
        printReturnPath();
    }
    returnToPerformance();
    noteDone();
}

void Red10::startCalibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    noteWhere("on the way to " + pedalPage(pedal), startAgain("calibratepedal", pedal));
    sendCommand("SETUPEXPRPEDL" + digitWord(pedal) + "ENTER", false);
    noteDone();
}

void Red10::endCalibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    noteWhere("on the way back from " + pedalPage(pedal), kStepBack);
    sendCommand("ENDCALIBRATEPEDAL" + intToDecimalText(pedal), false);
    noteDone();
}

void Red10::calibratePedal(int pedal) {
    if (!isValidPedal(pedal)) {
        refusePedal(pedal);
        return;
    }
    std::string answer;
    instance().startCalibratePedal(pedal);
    noteWhere("on " + pedalPage(pedal), startAgain("calibratepedal", pedal));
    promptPedal(pedal, "down");
    awaitAnswer(answer);
    if (answerMissing()) {
        return;
    }
    instance().sendCommand("ENTER", false);
    promptPedal(pedal, "up");
    awaitAnswer(answer);
    if (answerMissing()) {
        return;
    }
    instance().sendCommand("ENTER", false);
    instance().endCalibratePedal(pedal);
    std::cout << "done." << std::endl;
}
