# The installer package under the real Windows Installer, on a hosted runner (an administrator,
# UAC off, maybe no desktop: NOSTART=1, so nothing here needs the tray). Each check names the
# README claim it proves; the first one that fails ends the run.
param([Parameter(Mandatory)][string]$Msi)
$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 3

$dir = 'C:\Program Files\Marrowbine Jr'
$key = 'HKLM:\Software\Marrowbine Jr'
$task = 'Marrowbine Jr'
$doctor = 'MarrowbineJrCheck64.exe'
$work = 'C:\mjr-ci'
New-Item -ItemType Directory -Force $work | Out-Null
Copy-Item $Msi "$work\MarrowbineJr.msi"
$Msi = "$work\MarrowbineJr.msi"

function Claim([bool]$ok, [string]$claim, [string]$seen) {
    if (-not $ok) { throw "README: $claim`n  seen: $seen" }
    Write-Output "ok: $claim"
}

function Invoke-Msi([string]$log, [string[]]$arguments) {
    $p = Start-Process msiexec.exe -ArgumentList ($arguments + @('/qn', '/l*v', "`"$work\$log`"")) -Wait -PassThru
    if ($p.ExitCode -ne 0) {
        Get-Content "$work\$log" | Select-String -Pattern 'return value 3|error' | Select-Object -First 20
        throw "msiexec $arguments exited with $($p.ExitCode) (log $log)"
    }
}

function Saved { Get-ItemProperty $key | Select-Object InstallDir, Enforce | ConvertTo-Json -Compress }
function ResetRequest {
    $values = Get-ItemProperty $key
    if ($values.PSObject.Properties['ResetRequest']) { $values.ResetRequest } else { $null }
}

# ----- install -----
$office = "$work\office profile"
[IO.File]::WriteAllText($office, "Office`r`nchat`t0`tHigh`tC:\Office\chat.exe`r`n")
Invoke-Msi 'install.log' @('/i', "`"$Msi`"", 'ENFORCE=30', 'NOSTART=1', "PROFILE=`"$office`"")
$files = Get-ChildItem $dir -File | ForEach-Object Name | Sort-Object
$expected = 'CHANGELOG.txt', 'MarrowbineJr64.exe', 'MarrowbineJrCheck64.exe', 'MarrowbineJrTask.exe', 'My Favs 1', 'README.txt'
Claim (-not (Compare-Object $files $expected)) 'Install: the package puts its six files in C:\Program Files\Marrowbine Jr' ($files -join ', ')
$saved = Get-ItemProperty $key
Claim ($saved.InstallDir -eq "$dir\" -and $saved.Enforce -eq '30') 'Install: HKLM\Software\Marrowbine Jr holds the install folder and ENFORCE' (Saved)
Claim ((Get-FileHash "$dir\My Favs 1").Hash -eq (Get-FileHash $office).Hash) 'Install: PROFILE is installed as My Favs 1' (Get-Content "$dir\My Favs 1" -Raw)
$request = ResetRequest
Claim ($null -ne $request -and (Get-Item $key).GetValueKind('ResetRequest') -eq 'QWord') 'Install: a new install makes a reset request (a REG_QWORD)' "$request"

# The task as the Task Scheduler holds it, not as the package carries it.
[xml]$definition = Export-ScheduledTask -TaskName $task
$t = $definition.Task
$exec = $t.Actions.Exec
$group = $t.Principals.Principal.GroupId  # a SID, or a name where the Task Scheduler stored one
if ($group -notmatch '^S-1-') { $group = ([Security.Principal.NTAccount]$group).Translate([Security.Principal.SecurityIdentifier]).Value }
Claim ($group -eq 'S-1-5-32-545' -and $t.Principals.Principal.RunLevel -eq 'HighestAvailable') `
    'Install: the logon task runs for every user (Users), with the highest rights that user has' $t.Principals.OuterXml
Claim ($t.Settings.ExecutionTimeLimit -eq 'PT0S' -and $t.Settings.Priority -eq '4') `
    'Start at logon: no time limit, and the program starts at normal priority (task priority 4)' $t.Settings.OuterXml
Claim ($exec.Command -eq "`"$dir\MarrowbineJr64.exe`"" -and $exec.Arguments -eq '/enforce:30') `
    'Install: the task starts the installed program by its quoted path, with /enforce:30 for ENFORCE=30' $exec.OuterXml

# Who may change the task: SYSTEM and Administrators in full, Authenticated Users read and run.
$scheduler = New-Object -ComObject Schedule.Service
$scheduler.Connect()
$sddl = $scheduler.GetFolder('\').GetTask($task).GetSecurityDescriptor(4)
$acl = (New-Object System.Security.AccessControl.RawSecurityDescriptor $sddl).DiscretionaryAcl
$write = 0x500D0116  # generic all and write, delete, WRITE_DAC, WRITE_OWNER, data, extended attributes, attributes
$writers = @($acl | Where-Object { $_.AceType -eq 'AccessAllowed' -and ($_.AccessMask -band $write) } | ForEach-Object { $_.SecurityIdentifier.Value } | Sort-Object -Unique)
$readers = @($acl | Where-Object { $_.AceType -eq 'AccessAllowed' -and $_.SecurityIdentifier.Value -eq 'S-1-5-11' })
Claim (-not (Compare-Object $writers @('S-1-5-18', 'S-1-5-32-544')) -and $readers.Count -gt 0) `
    'What Marrowbine Jr trusts: only SYSTEM and Administrators may change the logon task' $sddl

$report = & "$dir\$doctor" --try | Out-String
Write-Output $report
Claim ($report.Contains("$dir\MarrowbineJr64.exe") -and $report -match 'highest') `
    "The doctor: --try reads the logon task back (its path and run level)" 'the report above'

# ----- a repair keeps an edited profile -----
Add-Content "$dir\My Favs 1" "`"x`t0`tHigh`tC:\Games\edited-by-the-job.exe`""
$edited = Get-FileHash "$dir\My Favs 1"
Remove-Item "$dir\$doctor"
Invoke-Msi 'repair.log' @('/fa', "`"$Msi`"")
Claim ((Test-Path "$dir\$doctor") -and (Get-FileHash "$dir\My Favs 1").Hash -eq $edited.Hash) `
    'Stop, update, uninstall: a repair puts back missing program files and never touches the profile' "profile $((Get-FileHash "$dir\My Favs 1").Hash)"
Claim ((ResetRequest) -eq $request) 'Install: a repair makes no reset request' "$request -> $(ResetRequest)"

# ----- a standard user's repair cannot change what SYSTEM reads -----
# A local user made for this job, in Performance Log Users: that group may log on as a batch job
# (a scheduled task with a password) on Windows Server, and holds no administrator right.
$user = 'mjr-ci-user'
$password = 'Jr-' + [guid]::NewGuid().ToString('N') + '-a1!'
New-LocalUser -Name $user -Password (ConvertTo-SecureString $password -AsPlainText -Force) | Out-Null
Add-LocalGroupMember -SID 'S-1-5-32-559' -Member $user
icacls $work /grant "${user}:(OI)(CI)M" | Out-Null
$code = (Get-ChildItem 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' | Get-ItemProperty -ErrorAction SilentlyContinue |
    Where-Object { $_.PSObject.Properties['DisplayName'] -and $_.DisplayName -eq 'Marrowbine Jr' }).PSChildName
$before = Saved
$action = New-ScheduledTaskAction -Execute 'msiexec.exe' -Argument "/i $code REINSTALL=ALL ENFORCE=7 /qn /l*v `"$work\standard-user.log`""
Register-ScheduledTask -TaskName 'mjr-ci standard user' -Action $action -User $user -Password $password -RunLevel Limited | Out-Null
Start-ScheduledTask -TaskName 'mjr-ci standard user'
$deadline = (Get-Date).AddMinutes(5)
do {
    Start-Sleep -Seconds 2
    $info = Get-ScheduledTaskInfo -TaskName 'mjr-ci standard user'
} while (($info.LastTaskResult -eq 267009 -or $info.LastTaskResult -eq 267011) -and (Get-Date) -lt $deadline)
Write-Output "the standard user's msiexec /i $code REINSTALL=ALL ENFORCE=7 ended with $($info.LastTaskResult)"
Claim (Test-Path "$work\standard-user.log") "the standard user's repair ran (its log is there)" "result $($info.LastTaskResult)"
$ignored = @(Get-Content "$work\standard-user.log" | Select-String -Pattern 'Ignoring disallowed property ENFORCE\b')
Get-Content "$work\standard-user.log" | Select-String -Pattern 'disallowed property|ENFORCE' | Select-Object -First 10
Claim ($info.LastTaskResult -eq 0) "a standard user's repair ends successfully" "result $($info.LastTaskResult)"
Claim ($ignored.Count -gt 0) 'Install: Windows Installer ignores ENFORCE from a standard user (its log says so)' 'no "Ignoring disallowed property ENFORCE" line'
Claim ((Saved) -eq $before) 'Install: ENFORCE and INSTALLDIR change only from an elevated prompt or as SYSTEM' "$before -> $(Saved)"
Unregister-ScheduledTask -TaskName 'mjr-ci standard user' -Confirm:$false
Remove-LocalUser -Name $user

# ----- uninstall leaves only the profile -----
Invoke-Msi 'uninstall.log' @('/x', "`"$Msi`"")
$left = @(Get-ChildItem $dir -Force | ForEach-Object Name)
Claim (($left -join ',') -eq 'My Favs 1' -and (Get-FileHash "$dir\My Favs 1").Hash -eq $edited.Hash) `
    'Stop, update, uninstall: uninstalling leaves your profile and nothing else in the folder' ($left -join ', ')
$gone = -not (Get-ScheduledTask -TaskName $task -ErrorAction SilentlyContinue)
Claim ($gone -and -not (Test-Path $key)) 'Stop, update, uninstall: uninstalling deletes the task and the registry key' "task gone: $gone"
