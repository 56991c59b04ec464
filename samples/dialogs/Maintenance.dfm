object Maintenance: TPoolTemplate
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = '$TITLE$ Setup'
  ClientHeight = 360
  ClientWidth = 495
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  object HeaderPanel: TPanel
    Left = 0
    Top = 0
    Width = 495
    Height = 57
    BevelOuter = bvNone
    Color = clWindow
    ParentColor = False
    object HeaderTitle: TLabel
      Left = 16
      Top = 10
      Width = 400
      Height = 14
      Caption = 'Change, Repair or Remove'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -11
      Font.Name = 'MS Sans Serif'
      Font.Style = [fsBold]
      ParentFont = False
      Transparent = True
    end
    object HeaderText: TLabel
      Left = 28
      Top = 30
      Width = 440
      Height = 14
      Caption = '$TITLE$ is installed. Choose what Setup should do.'
      Transparent = True
    end
  end
  object HeaderBevel: TBevel
    Left = 0
    Top = 57
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object ModifyRadio: TRzRadioButton
    Left = 16
    Top = 80
    Width = 463
    Height = 17
    Caption = '&Modify'
    Hint = 'MODIFY'
    TabOrder = 3
  end
  object ModifyText: TLabel
    Left = 34
    Top = 100
    Width = 445
    Height = 14
    Caption = 'Add or remove features.'
  end
  object RepairRadio: TRzRadioButton
    Left = 16
    Top = 136
    Width = 463
    Height = 17
    Caption = 'Re&pair'
    Hint = 'REPAIR'
    TabOrder = 4
  end
  object RepairText: TLabel
    Left = 34
    Top = 156
    Width = 445
    Height = 14
    Caption = 'Put back missing or damaged files, shortcuts and registry entries.'
  end
  object RemoveRadio: TRzRadioButton
    Left = 16
    Top = 192
    Width = 463
    Height = 17
    Caption = '&Remove'
    Hint = 'REMOVE'
    TabOrder = 5
  end
  object RemoveText: TLabel
    Left = 34
    Top = 212
    Width = 445
    Height = 14
    Caption = 'Remove $TITLE$ from this computer.'
  end
  object Bevel1: TBevel
    Left = 0
    Top = 313
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object BackButton: TButton
    Left = 243
    Top = 326
    Width = 75
    Height = 23
    Caption = '< &Back'
    Enabled = False
    Tag = 2
    TabOrder = 1
  end
  object NextButton: TButton
    Left = 318
    Top = 326
    Width = 75
    Height = 23
    Caption = '&Next >'
    Default = True
    Enabled = True
    Tag = 1
    TabOrder = 0
  end
  object CancelButton: TButton
    Left = 405
    Top = 326
    Width = 75
    Height = 23
    Caption = 'Cancel'
    Enabled = True
    Tag = 3
    TabOrder = 2
  end
end
