// A result that a step does not look at, on purpose: the step goes on
// whatever the call gave, as the programs always have (a registry write that
// fails is passed over in silence). Written out so that a result dropped by
// mistake still stands out.
#ifndef RQ47_COMMON_NOT_LOOKED_AT_H
#define RQ47_COMMON_NOT_LOOKED_AT_H

template <class Result>
inline void NotLookedAt(const Result&) {}

#endif  // RQ47_COMMON_NOT_LOOKED_AT_H
