#!/bin/sh
# A database reader that stops in the middle of a record and exits normally.
printf "T\000\000\000\000\050\000\000\000Con"
