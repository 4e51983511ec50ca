# Shared by the BusyBox stand-ins: edits of the scratch account files made
# the way BusyBox's applets make them. Values reach awk through ENVIRON only.

# set_members GROUP USER add|del: adds or removes USER in GROUP's member list.
set_members() {
    G="$1" U="$2" OP="$3" awk 'BEGIN { FS = OFS = ":" }
        $1 "" == ENVIRON["G"] {
            n = split($4, m, ","); out = ""; seen = 0
            for (i = 1; i <= n; i++) {
                if (m[i] == "") continue
                if (m[i] == ENVIRON["U"]) { seen = 1; if (ENVIRON["OP"] == "del") continue }
                out = out (out == "" ? "" : ",") m[i]
            }
            if (ENVIRON["OP"] == "add" && !seen) out = out (out == "" ? "" : ",") ENVIRON["U"]
            $4 = out
        }
        { print }' /etc/group > /etc/group.standin && cat /etc/group.standin > /etc/group && rm -f /etc/group.standin
}

# drop_lines FILE NAME: removes the line of NAME from a colon-separated file.
drop_lines() {
    N="$2" awk -F: '$1 "" != ENVIRON["N"]' "$1" > "$1.standin" && cat "$1.standin" > "$1" && rm -f "$1.standin"
}

has_line() {
    N="$2" awk -F: 'BEGIN { r = 1 } $1 "" == ENVIRON["N"] { r = 0 } END { exit r }' "$1"
}

field_of() { # FILE NAME FIELD
    N="$2" F="$3" awk -F: '$1 "" == ENVIRON["N"] { print $(ENVIRON["F"]) }' "$1"
}

log_call() {
    printf '%s' "$(basename "$0")" >> /usr/local/bin/standin.log
    for a in "$@"; do printf ' [%s]' "$a" >> /usr/local/bin/standin.log; done
    echo >> /usr/local/bin/standin.log
}
