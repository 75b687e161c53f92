#include "commands/CompoundCommands.h"

std::map<std::string, std::string> compoundCommands;

// Each page is the page before it plus the key that leads on from there: NEXT moves along
// a menu, ENTER opens what lies under a page, MENU moves to the next top-level menu.
void fillCompoundCommands() {
    compoundCommands.insert({
        // Edit patch.
        {"EDITPATCH", "MENU"},
        {"EDITPATCHNR", "EDITPATCH ENTER"},
        {"EDITPATCHNAME", "EDITPATCHNR NEXT"},
        {"EDITPATCHNAMEENTER", "EDITPATCHNAME ENTER"},
        {"EDITMIDISTRINGA", "EDITPATCHNAME NEXT"},
        {"EDITMIDISTRINGAENTER", "EDITMIDISTRINGA ENTER"},
        {"EDITMIDISTRINGB", "EDITMIDISTRINGA NEXT"},
        {"EDITMIDISTRINGBENTER", "EDITMIDISTRINGB ENTER"},
        {"EDITEXPRPDL1", "EDITMIDISTRINGB NEXT"},
        {"EDITEXPRPDL2", "EDITEXPRPDL1 NEXT"},
        {"PDLACTIONSWITCH", "EDITEXPRPDL2 NEXT"},
        {"RECORDMIDISTRINGA", "PDLACTIONSWITCH NEXT"},
        {"RECORDMIDISTRINGB", "RECORDMIDISTRINGA NEXT"},
        {"COPYPATCH", "RECORDMIDISTRINGB NEXT"},
        {"ERASEPATCH", "COPYPATCH NEXT"},
        {"EXITEDITPATCH", "ERASEPATCH NEXT"},
        // Edit bank.
        {"EDITBANK", "EDITPATCH MENU"},
        {"EDITBANKNR", "EDITBANK ENTER"},
        {"EDITBANKNAME", "EDITBANKNR NEXT"},
        {"BANKMODE", "EDITBANKNAME NEXT"},
        {"BANKASSPEDALS", "BANKMODE NEXT"},
        {"COPYBANK", "BANKASSPEDALS NEXT"},
        {"ERASEBANK", "COPYBANK NEXT"},
        {"EXITEDITBANK", "ERASEBANK NEXT"},
        // Edit set.
        {"EDITSET", "EDITBANK MENU"},
        {"EDITSETNR", "EDITSET ENTER"},
        {"EDITSETSEQ", "EDITSETNR NEXT"},
        {"COPYSET", "EDITSETSEQ NEXT"},
        {"ERASESET", "COPYSET NEXT"},
        {"EXITEDITSET", "ERASESET NEXT"},
        // Utilities: MIDI.
        {"UTILITIES", "EDITSET MENU"},
        {"MIDI", "UTILITIES ENTER"},
        {"MIDIMERGING", "MIDI ENTER"},
        {"FILTEREXTRAPC", "MIDIMERGING NEXT"},
        {"RED10CHANNEL", "FILTEREXTRAPC NEXT"},
        {"DEFAULTCHANNEL", "RED10CHANNEL NEXT"},
        {"MIDIFILTERS", "DEFAULTCHANNEL NEXT"},
        {"MIDIDATADUMP", "MIDIFILTERS NEXT"},
        {"MIDIPRESSENTERDUMP", "MIDIDATADUMP ENTER"},
        {"MIDIDATADUMPCOMPLETE", "MIDIPRESSENTERDUMP ENTER"},
        {"ENDMIDIDATADUMPCOMPLETE",
         "PREV PREV PREV PREV PREV PREV ENTER PREV ENTER PREV PREV PREV PREV  ENTER"},
        {"MIDIPATCHDUMP", "MIDIDATADUMP NEXT"},
        {"SRCPATCH1", "MIDIPATCHDUMP ENTER"},
        {"DSTPATCH1", "SRCPATCH1 ENTER"},
        {"MIDIPATCHDUMPCOMPLETE", "DSTPATCH1 ENTER"},
        {"MIDIEXIT", "MIDIPATCHDUMP NEXT"},
        // Utilities: global pedals, patch tools, presets.
        {"GLOBEXPRPDL1", "MIDI NEXT"},
        {"GLOBEXPRPDL2", "GLOBEXPRPDL1 NEXT"},
        {"HEXPATCHEDIT", "GLOBEXPRPDL2 NEXT"},
        {"EXPNDRNSTAT", "HEXPATCHEDIT NEXT"},
        {"EXPNDPATCH", "EXPNDRNSTAT ENTER"},
        {"EXPNDCOMPLETE", "EXPNDPATCH ENTER"},
        {"SHRNKRNSTAT", "EXPNDRNSTAT NEXT"},
        {"SHRNKPATCH", "SHRNKRNSTAT ENTER"},
        {"SHRNKCOMPLETE", "SHRNKPATCH ENTER"},
        {"FACTORYPRESETS", "SHRNKRNSTAT NEXT"},
        {"PRESSENTERRESET", "FACTORYPRESETS ENTER"},
        {"RESETCOMPLETE", "PRESSENTERRESET ENTER"},
        // Utilities: miscellaneous setup.
        {"MISCSETUP", "FACTORYPRESETS NEXT"},
        {"MEMORY", "MISCSETUP ENTER"},
        {"LEDDISPLAY", "MEMORY NEXT"},
        {"POWERUPPATCH", "LEDDISPLAY NEXT"},
        {"SYSEXEDIT", "POWERUPPATCH NEXT"},
        {"SETUPEXPRPEDL1", "SYSEXEDIT NEXT"},
        {"SETUPEXPRPEDL1ENTER", "SETUPEXPRPEDL1 ENTER"},
        {"SETUPEXPRPEDL2", "SETUPEXPRPEDL1 NEXT"},
        {"SETUPEXPRPEDL2ENTER", "SETUPEXPRPEDL2 ENTER"},
        {"EXITMISCSETUP", "SETUPEXPRPEDL2 NEXT"},
        {"EXITUTILS", "MISCSETUP NEXT"},
        {"EXITEDITMENU", "UTILITIES MENU"},
        // Fixed key sequences that leave a finished operation.
        {"ENDCALIBRATEPEDAL1",
         "PREV PREV PREV PREV PREV ENTER PREV PREV PREV PREV PREV PREV PREV PREV ENTER PREV "
         "PREV PREV PREV ENTER"},
        {"ENDCALIBRATEPEDAL2", "PREV ENDCALIBRATEPEDAL1"},
    });
}

std::string lookupCompound(const std::string& name) {
    const auto row = compoundCommands.find(name);
    return row == compoundCommands.end() ? std::string() : row->second;
}
