#pragma once
// Songs the register-log tests share.

#include <string>

namespace reglogtest {

// An FM voice (sound 1) and an SSG envelope (0) for the songs' parts.
inline const std::string kVoice =
    "sound:1\n"
    "lfo:0,0,0,4,3\n"
    "op1:31,8,0,6,2,40,0,1,0,0\n"
    "op2:31,4,0,6,2,10,0,1,0,0\n"
    "op3:31,8,0,6,2,40,0,2,0,0\n"
    "op4:31,4,0,6,2,10,0,1,0,0\n"
    "ssgenv:@0, 2, 15,13,11,9\n";

// Loops of 3 and 4 bars (192 and 256 ticks) after intros of 1 and 2 bars.
inline const std::string kThreeAndFour =
    kVoice +
    "1: t150 @1 v12 o4 l4 c1 { e g e c e g e c a b a g }\n"
    "4: @0 v11 o5 l8 r1 r1 { {2 c e g e} {2 d f a f} {2 e g b g} {2 c c g g} }\n";

}  // namespace reglogtest
