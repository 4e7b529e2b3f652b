#!/bin/sh
# Runs a program for help2man. Its --help ends with paragraphs headed
# "Exit status:" and "Serial ports:"; they are marked as sections of their
# own ("*Exit status*") so that the man page shows them as EXIT STATUS and
# SERIAL PORTS next to EXAMPLES, which help2man knows by itself.
program="$1"
shift
if [ "$1" = "--help" ]; then
    "$program" --help | sed -e 's/^\(Exit status\|Serial ports\):$/*\1*/'
else
    exec "$program" "$@"
fi
