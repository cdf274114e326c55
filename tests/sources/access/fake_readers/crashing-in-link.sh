#!/bin/sh
# A database reader that follows a linked table to "other.mdb" and crashes there.
printf 'L\011\000\000\000other.mdb'
kill -SEGV $$
