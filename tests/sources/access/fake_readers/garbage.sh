#!/bin/sh
# A database reader that sends bytes that are not the stream format.
printf "Q garbage that is no record"
