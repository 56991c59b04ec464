object Finish: TPoolTemplate
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
  object SidePanel: TPanel
    Left = 0
    Top = 0
    Width = 164
    Height = 313
    BevelOuter = bvNone
    Color = $00A05020
    ParentColor = False
  end
  object WhitePanel: TPanel
    Left = 164
    Top = 0
    Width = 331
    Height = 313
    BevelOuter = bvNone
    Color = clWindow
    ParentColor = False
    object TitleLabel: TLabel
      Left = 16
      Top = 16
      Width = 300
      Height = 42
      Caption = 'Completing the $TITLE$ Setup Wizard'
      Font.Height = -16
      Font.Name = 'Tahoma'
      Font.Style = [fsBold]
      ParentFont = False
      Transparent = True
      WordWrap = True
    end
    object BodyLabel: TLabel
      Left = 16
      Top = 72
      Width = 300
      Height = 200
      Caption = 'Setup has finished. $TITLE$: $RESULT$.$NEWLINE$$NEWLINE$Click Finish to close this wizard.'
      Transparent = True
      WordWrap = True
    end
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
    Caption = '&Finish'
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
    Enabled = False
    Tag = 3
    TabOrder = 2
  end
end
