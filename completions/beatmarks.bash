# bash completion for beatmarks

_beatmarks() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local options="--format= --exact --offset= --rate= --start= --stop= --divisions=
    --first-measure= --beat= --into= --locate= --fit --fit= --meter= --pickup= --strict
    --snap= --snap-window= --follow --max-drift= --resolution= --timecode= --quiet --help --version
    -f -r -s -e -d -q -h -V"
  case $prev in
    -f) COMPREPLY=($(compgen -W "list labels csv json svg wav summary midi osu sm ssc chart rekordbox edl" -- "$cur")); return ;;
    -r|-s|-e|-d) return ;;
  esac
  case $cur in
    --format=*)
      COMPREPLY=($(compgen -W "list labels csv json svg wav summary midi osu sm ssc chart rekordbox edl" -- "${cur#--format=}")); return ;;
    --beat=*)
      COMPREPLY=($(compgen -W "denominator quarter click" -- "${cur#--beat=}")); return ;;
    --fit=*)
      COMPREPLY=($(compgen -W "beat measure" -- "${cur#--fit=}")); return ;;
    --timecode=*)
      COMPREPLY=($(compgen -W "24 25 29.97 29.97df 30 23.976" -- "${cur#--timecode=}")); return ;;
    --meter=*)
      COMPREPLY=($(compgen -W "2 3 4 6/8 9/8 12/8" -- "${cur#--meter=}")); return ;;
    --locate=*|--snap=*|--into=*)
      local file=${cur#*=}
      COMPREPLY=($(compgen -f -- "$file")); return ;;
    -*)
      COMPREPLY=($(compgen -W "$options" -- "$cur"))
      [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace
      return ;;
  esac
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _beatmarks beatmarks
