#pragma once
// The parts of Boost.Spirit (classic) that the compiler uses, included in one
// place. GCC's flow analysis reports the empty attribute of a failed match as
// used uninitialised once Spirit's char parsers are inlined into a grammar
// (a false positive: a failed match's attribute is never read); the warning
// is silenced for these headers only.

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <boost/spirit/include/classic_assign_actor.hpp>
#include <boost/spirit/include/classic_chset.hpp>
#include <boost/spirit/include/classic_core.hpp>
#include <boost/spirit/include/classic_file_iterator.hpp>

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
