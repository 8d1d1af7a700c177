# bash completion for quorvix-cli: commands, each command's options, the
# values --state and --format take, and file names for FILE, LEDGER,
# LOGFILE and the output.
_quorvix_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local command=${COMP_WORDS[1]} options
  [[ $command == ledger ]] && command+=" ${COMP_WORDS[2]}"
  case $prev in
    --log|--ledger|-o|--output|--label|--template|--label-template) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --state) COMPREPLY=($(compgen -W "reserved written failed replaced" -- "$cur")); return ;;
    --format|--label-format)
      if [[ $command == label || $command == assign ]]; then
        COMPREPLY=($(compgen -W "zpl png svg" -- "$cur"))
      else
        COMPREPLY=($(compgen -W "csv jsonl" -- "$cur"))
      fi
      return ;;
    --mac|--sn|--station|--mac-range|--sn-range|--since|--until|--dpi|--size|--print|--label-print) COMPREPLY=(); return ;;
  esac
  if ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W "show check set assign label ledger --help --help-all --version" -- "$cur"))
    return
  fi
  if [[ $command == "ledger "* ]] && ((COMP_CWORD == 2)); then
    COMPREPLY=($(compgen -W "init extend grant status list reconcile find export report sync release withdraw --help --help-all" -- "$cur"))
    return
  fi
  case $command in
    show|check) options="--json" ;;
    set) options="--mac --sn --dry-run --backup --log --strict" ;;
    assign) options="--ledger --station --reassign --backup --log --json --label --label-print --label-format --label-template --dpi --size --lease --lease-file" ;;
    label) options="--ledger --output --print --format --dpi --size --template" ;;
    "ledger init"|"ledger extend") options="--ledger --mac-range --sn-range" ;;
    "ledger grant") options="--ledger" ;;
    "ledger status"|"ledger find") options="--ledger --json" ;;
    "ledger list") options="--ledger --json --state" ;;
    "ledger reconcile") options="--ledger --station --json" ;;
    "ledger export") options="--ledger --format --since --until --station --state --history --output" ;;
    "ledger report") options="--ledger --output" ;;
    "ledger sync" | "ledger release") options="--ledger --station --lease-file" ;;
    "ledger withdraw") options="--ledger" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help --help-all" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -o bashdefault -F _quorvix_cli quorvix-cli
