#pragma once

// A small network in DBC text: two nodes; 0x100 from Engine with a
// little-endian, a big-endian signed and a described signal, a comment and a
// cycle time; the extended 123.04567 from Body, multiplexed, with a float
// that only a 6-byte frame carries; 0x700 with no transmitter and no signals.
inline constexpr const char *sampleDbc = R"(VERSION ""

NS_ :
	CM_
	BA_DEF_
	BA_
	VAL_
	SIG_VALTYPE_

BS_:

BU_: Engine Body

BO_ 256 EngineData: 8 Engine
 SG_ Rpm : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Body
 SG_ Temp : 23|8@0- (1,-40) [-40|215] "degC" Vector__XXX
 SG_ Gear : 32|4@1+ (1,0) [0|15] "" Vector__XXX

BO_ 2223785319 DoorStatus: 6 Body
 SG_ Mux M : 0|8@1+ (1,0) [0|2] "" Vector__XXX
 SG_ Left m1 : 8|8@1+ (1,0) [0|255] "" Vector__XXX
 SG_ Right m2 : 8|8@1+ (0.5,-10) [-10|117.5] "%" Vector__XXX
 SG_ Angle : 16|32@1+ (1,0) [0|0] "deg" Vector__XXX

BO_ 1792 Unowned: 0 Vector__XXX

CM_ BO_ 256 "Engine state";
CM_ SG_ 256 Rpm "Crank speed";
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;
BA_ "GenMsgCycleTime" BO_ 256 100;
VAL_ 256 Gear 0 "Neutral" 1 "First" 15 "Reverse";
SIG_VALTYPE_ 2223785319 Angle : 1;
)";
