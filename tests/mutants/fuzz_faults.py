# Deliberate faults that the fuzz targets must find by fuzzing, each applied
# alone: the pattern, which must occur exactly once in its file, is replaced.
# The committed corpus alone must not find them.
FUZZ_FAULTS = [
    # (what goes wrong, fuzz target, file, pattern, replacement)
    ("A: in place, a count below -1 replaces every occurrence", "text_runtime",
     "src/text/text_operations.cc",
     "    if (count != -1 && made >= count) break;", "    if (count >= 0 && made >= count) break;"),
    ("B: in place, the start is ignored", "text_runtime", "src/text/text_operations.cc",
     "  for (std::int64_t p = start - 1; source[p] != 0;) {",
     "  for (std::int64_t p = 0; source[p] != 0;) {"),
    ("copying, a count below -1 replaces every occurrence", "text_runtime",
     "src/text/text_operations.cc",
     "          if (count != -1 && occurrences >= count) break;",
     "          if (count > 0 && occurrences >= count) break;"),
    ("in place, case is never ignored", "text_runtime", "src/text/text_operations.cc",
     "start, count, ignoreCase);", "start, count, false);"),
    ("leading tabs skipped as spaces", "parameters", "src/params/parameters.cc",
     "      while (*p == u' ') ++p;", "      while (*p == u' ' || *p == u'\\t') ++p;"),
]
