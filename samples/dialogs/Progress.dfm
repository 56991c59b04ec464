object Progress: TPoolTemplate
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
      Caption = 'Installing'
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
      Caption = 'Please wait while $TITLE$ is being installed.'
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
  object StatusText: TStaticText
    Left = 16
    Top = 76
    Width = 463
    Height = 30
    AutoSize = False
    Caption = 'Preparing...'
    Tag = 1
  end
  object ProgressBar: TProgressBar
    Left = 16
    Top = 112
    Width = 463
    Height = 18
    Min = 0
    Max = 100
    Tag = 1
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
    Enabled = False
    Tag = 1
    TabOrder = 0
  end
  object CancelButton: TButton
    Left = 405
    Top = 326
    Width = 75
    Height = 23
    Caption = 'Cancel'
    Enabled = False
    Tag = 3
    TabOrder = 2
  end
end
