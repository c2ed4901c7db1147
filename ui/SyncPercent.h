#pragma once

// The share of executed work actions in per cent as every progress display shows it:
// (executed * 1000 + 5) / (total * 10) in integers, so 2 of 3 is 66. -1 when there is no work.
int syncPercent(int executed, int total);
