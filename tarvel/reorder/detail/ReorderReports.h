// The timing reports of the reorderings, shown through AfxMessageBox (ReorderOutput.cpp).
#pragma once

namespace tarvel::detail
{

void show_short_report(long ticks);
void show_percentage_report(long ticks, int oldB, int newB, long long oldEnv, long long newEnv);
void show_switch_report(long ticks, int oldB, int newB, int switches, long long oldEnv,
                        long long newEnv);

}  // namespace tarvel::detail
