#pragma once
// Which vector instruction sets this processor has, asked once. Any thread.

namespace bandscope {

bool haveAvx512();  // AVX-512 F, BW, DQ and VL
bool haveAvx2();    // AVX2 and FMA

}  // namespace bandscope
