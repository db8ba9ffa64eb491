#include "effects/EffectSort.h"

void SortEffectEntries(TEffectSortEntry* pEntries, uint32_t count) { SortByKey(pEntries, count); }
