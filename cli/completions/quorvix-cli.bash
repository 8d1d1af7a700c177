# bash completion for quorvix-cli: commands, each command's options, the
# values --state takes, and file names for FILE, LEDGER and LOGFILE.
_quorvix_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local command=${COMP_WORDS[1]} options
  [[ $command == ledger ]] && command+=" ${COMP_WORDS[2]}"
  case $prev in
    --log|--ledger) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --state) COMPREPLY=($(compgen -W "reserved written failed" -- "$cur")); return ;;
    --mac|--sn|--station|--mac-range|--sn-range) COMPREPLY=(); return ;;
  esac
  if ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W "show check set assign ledger --help --help-all --version" -- "$cur"))
    return
  fi
  if [[ $command == "ledger "* ]] && ((COMP_CWORD == 2)); then
    COMPREPLY=($(compgen -W "init extend status list reconcile --help --help-all" -- "$cur"))
    return
  fi
  case $command in
    show|check) options="--json" ;;
    set) options="--mac --sn --dry-run --backup --log --strict" ;;
    assign) options="--ledger --station --reassign --backup --log --json" ;;
    "ledger init"|"ledger extend") options="--mac-range --sn-range" ;;
    "ledger status"|"ledger reconcile") options="--json" ;;
    "ledger list") options="--json --state" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help --help-all" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -o bashdefault -F _quorvix_cli quorvix-cli
