# PowerShell completion for quorvix-cli.exe: commands, each command's
# options, the values --state and --format take, and file names elsewhere. Load it in a
# session, or from $PROFILE for every session:  . .\quorvix-cli.ps1
Register-ArgumentCompleter -Native -CommandName quorvix-cli, quorvix-cli.exe -ScriptBlock {
    param($wordToComplete, $commandAst, $cursorPosition)
    $words = @($commandAst.CommandElements | Select-Object -Skip 1 | ForEach-Object { $_.ToString() })
    if ($wordToComplete -ne '' -and $words.Count -gt 0) { $words = @($words | Select-Object -SkipLast 1) }
    $help = '--help', '--help-all'
    $options = @{
        'show'             = @('--json')
        'check'            = @('--json')
        'set'              = @('--mac', '--sn', '--dry-run', '--backup', '--log', '--strict')
        'assign'           = @('--ledger', '--station', '--reassign', '--backup', '--log', '--json', '--label', '--label-print', '--label-format', '--label-template', '--dpi', '--size', '--lease', '--lease-file')
        'label'            = @('--ledger', '--output', '--print', '--format', '--dpi', '--size', '--template')
        'ledger init'      = @('--ledger', '--mac-range', '--sn-range')
        'ledger extend'    = @('--ledger', '--mac-range', '--sn-range')
        'ledger grant'     = @('--ledger')
        'ledger status'    = @('--ledger', '--json')
        'ledger list'      = @('--ledger', '--json', '--state')
        'ledger reconcile' = @('--ledger', '--station', '--json')
        'ledger find'      = @('--ledger', '--json')
        'ledger export'    = @('--ledger', '--format', '--since', '--until', '--station', '--state', '--history', '--output')
        'ledger report'    = @('--ledger', '--output')
        'ledger sync'      = @('--ledger', '--station', '--lease-file')
        'ledger release'   = @('--ledger', '--station', '--lease-file')
        'ledger withdraw'  = @('--ledger')
    }
    $candidates = @()
    $files = $false
    if ($words.Count -eq 0) {
        $candidates = @('show', 'check', 'set', 'assign', 'label', 'ledger', '--version') + $help
    } elseif ($words[0] -eq 'ledger' -and $words.Count -eq 1) {
        $candidates = @('init', 'extend', 'grant', 'status', 'list', 'reconcile', 'find', 'export', 'report', 'sync', 'release', 'withdraw') + $help
    } elseif ($words[-1] -eq '--state') {
        $candidates = @('reserved', 'written', 'failed', 'replaced')
    } elseif ($words[-1] -eq '--label-format' -or ($words[-1] -eq '--format' -and $words[0] -eq 'label')) {
        $candidates = @('zpl', 'png', 'svg')
    } elseif ($words[-1] -eq '--format') {
        $candidates = @('csv', 'jsonl')
    } elseif ($words[-1] -in '--mac', '--sn', '--station', '--mac-range', '--sn-range', '--since', '--until', '--dpi', '--size', '--print', '--label-print') {
        return
    } elseif ($wordToComplete.StartsWith('-')) {
        $command = if ($words[0] -eq 'ledger') { "ledger $($words[1])" } else { $words[0] }
        $candidates = @($options[$command]) + $help
    } else {
        $files = $true
    }
    if ($files) {
        Get-ChildItem -Path "$wordToComplete*" -ErrorAction SilentlyContinue | ForEach-Object {
            $path = Resolve-Path -Relative $_.FullName
            $quoted = if ($path -match '\s') { "'$path'" } else { $path }
            [System.Management.Automation.CompletionResult]::new($quoted, $_.Name, 'ProviderItem', $_.FullName)
        }
        return
    }
    $candidates | Where-Object { $_ -like "$wordToComplete*" } | ForEach-Object {
        [System.Management.Automation.CompletionResult]::new($_, $_, 'ParameterValue', $_)
    }
}
