# fish completion for quorvix-cli: commands, each command's options, the
# values --state and --format take, and file names for FILE, LEDGER,
# LOGFILE and the output.
set -l commands show check set assign label ledger
set -l ledger_commands init extend grant status list reconcile find export report sync release withdraw

function __quorvix_cli_ledger_command
    set -l words (commandline -opc)
    test (count $words) -ge 3; and test "$words[2]" = ledger; and contains -- "$words[3]" $argv
end

complete -c quorvix-cli -f
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a show -d "Print each file's MAC, SN and their stored checks"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a check -d "The same reading; the exit code says whether the checks match"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a set -d "Write a new MAC and/or SN into one file"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a assign -d "Write the next MAC and SN from a ledger into one file"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a ledger -d "The ledger that assign hands values out from"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -a label -d "Make a label of each file's MAC and SN"
complete -c quorvix-cli -n "not __fish_seen_subcommand_from $commands" -l version -d "Print the version and exit"
complete -c quorvix-cli -s h -l help -d "Print help and exit"
complete -c quorvix-cli -l help-all -d "Print help on every command and exit"

complete -c quorvix-cli -n "__fish_seen_subcommand_from show check set assign label" -F
complete -c quorvix-cli -n "__fish_seen_subcommand_from show check" -l json -d "One JSON object per file and line"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set" -l mac -x -d "12 hex digits"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set" -l sn -x -d "13 letters or digits"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set" -l dry-run -d "Print what would change; write nothing"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set" -l strict -d "Refuse a multicast, all-zero or all-FF MAC"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set assign" -l backup -d "First copy the file to FILE.bak"
complete -c quorvix-cli -n "__fish_seen_subcommand_from set assign" -l log -r -F -d "Append one JSON line about this call"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign label" -l ledger -r -F -d "An SQLite file or a postgresql:// URL"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l station -x -d "This station's name in the ledger"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l reassign -d "Give new values to a file a unit has"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l json -d "Print the unit as one JSON object"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l label -r -F -d "Once written, make its label here"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l label-print -x -d "Once written, print its label on this printer"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l label-format -x -a "zpl png svg" -d "The label's format"
complete -c quorvix-cli -n "__fish_seen_subcommand_from label" -s o -l output -r -F -d "The label, or with several files a folder"
complete -c quorvix-cli -n "__fish_seen_subcommand_from label" -l print -x -d "Print the labels on this printer, or socket://HOST:PORT"
complete -c quorvix-cli -n "__fish_seen_subcommand_from label" -l format -x -a "zpl png svg" -d "The labels' format"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign label" -l dpi -x -d "The printer's dots per inch"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign label" -l size -x -d "WIDTHxHEIGHT in millimetres"
complete -c quorvix-cli -n "__fish_seen_subcommand_from label" -l template -r -F -d "A site's own label, ZPL or SVG"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l label-template -r -F -d "A site's own label, ZPL or SVG"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l lease -x -d "Values to keep leased from a server ledger"
complete -c quorvix-cli -n "__fish_seen_subcommand_from assign" -l lease-file -r -F -d "This station's lease file"

complete -c quorvix-cli -n "__fish_seen_subcommand_from ledger; and not __fish_seen_subcommand_from $ledger_commands" -a "$ledger_commands"
complete -c quorvix-cli -n "__fish_seen_subcommand_from $ledger_commands" -F
complete -c quorvix-cli -n "__quorvix_cli_ledger_command $ledger_commands" -l ledger -r -F -d "An SQLite file or a postgresql:// URL"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command init extend" -l mac-range -x -d "FIRST-LAST, two MACs"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command init extend" -l sn-range -x -d "FIRST-LAST, two SNs"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command status list reconcile find" -l json -d "JSON output"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command list export" -l state -x -a "reserved written failed replaced" -d "Only units in this state"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command reconcile export sync release" -l station -x -d "A station's name"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command sync release" -l lease-file -r -F -d "This station's lease file"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command export" -l format -x -a "csv jsonl" -d "CSV or JSON Lines"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command export" -l since -x -d "Only units from this UTC time on"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command export" -l until -x -d "Only units before this UTC time"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command export" -l history -d "Every change of a unit instead of the units"
complete -c quorvix-cli -n "__quorvix_cli_ledger_command export report" -s o -l output -r -F -d "Write to this file, whole or not at all"
